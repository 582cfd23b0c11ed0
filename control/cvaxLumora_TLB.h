// The public header (include/axlumora/cvaxLumora_TLB.h), under the path code of this tree used
// first.
#pragma once

#include "axlumora/cvaxLumora_TLB.h"
