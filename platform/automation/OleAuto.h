// The public declarations, shared with hosts (include/axlumora/OleAuto.h).
#pragma once

#include "axlumora/OleAuto.h"
