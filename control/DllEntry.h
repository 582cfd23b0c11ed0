// The public header (include/axlumora/DllEntry.h), under the path code of this tree used first.
#pragma once

#include "axlumora/DllEntry.h"
