// The public declarations, shared with hosts (include/axlumora/WinTypes.h).
#pragma once

#include "axlumora/WinTypes.h"
