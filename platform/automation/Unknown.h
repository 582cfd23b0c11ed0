// The public declarations, shared with hosts (include/axlumora/Unknown.h).
#pragma once

#include "axlumora/Unknown.h"
