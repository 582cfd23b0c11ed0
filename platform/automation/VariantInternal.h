// Helpers shared by the variant units; not part of the platform's surface.
#pragma once

#include <cstddef>

#include "platform/automation/OleAuto.h"

namespace automation_detail {

// Plain value types that live in the variant's union by value.
bool IsScalarType(VARTYPE vt);
std::size_t ScalarSize(VARTYPE vt);
// A type tag a variant may carry (including VT_BYREF and VT_ARRAY combinations).
bool IsValidVariantType(VARTYPE vt);
// Initialises *out with an owned copy of *src, dereferencing one VT_BYREF level. On failure
// *out is VT_EMPTY.
HRESULT DereferenceCopy(VARIANT* out, const VARIANT* src);

}  // namespace automation_detail
