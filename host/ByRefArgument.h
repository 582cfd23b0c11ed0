// By-reference arguments of a late-bound call: the caller's storage behind a VT_BYREF variant.
// Shared by the host's script runner and the Python module.
#pragma once

#include "platform/automation/OleAuto.h"

namespace host {

// Any scalar a member takes by reference.
union ByRefStorage {
    SHORT i2;
    LONG i4;
    ULONG ui4;
    LONGLONG i8;
    ULONGLONG ui8;
    FLOAT r4;
    DOUBLE r8;
    VARIANT_BOOL b;
    BYTE ui1;
};

// Stores `value` converted to `base` in `storage` and points `argument` (which must hold no
// value of its own) at it as base | VT_BYREF. False, with nothing changed, when the value does
// not convert.
bool MakeByRefArgument(const VARIANT& value, VARTYPE base, ByRefStorage& storage,
                       VARIANT& argument);

}  // namespace host
