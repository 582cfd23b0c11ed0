#include "host/ByRefArgument.h"

#include <cstring>

namespace host {

bool MakeByRefArgument(const VARIANT& value, VARTYPE base, ByRefStorage& storage,
                       VARIANT& argument) {
    Variant converted;
    if (FAILED(VariantChangeType(&converted, &value, 0, base))) return false;
    // Every member of the variant's value union starts at the same address.
    std::memcpy(&storage, &converted.llVal, sizeof storage);
    argument.vt = VARTYPE(base | VT_BYREF);
    argument.byref = &storage;
    return true;
}

}  // namespace host
