// The public declarations, shared with hosts (include/axlumora/GlobalMemory.h).
#pragma once

#include "axlumora/GlobalMemory.h"
