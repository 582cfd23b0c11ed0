// The public declarations, shared with hosts (include/axlumora/ErrorInfo.h).
#pragma once

#include "axlumora/ErrorInfo.h"
