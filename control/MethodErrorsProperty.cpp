// EnableMethodErrors: kept for hosts that set it; failures are always reported through Value and
// the log, never raised, so the setter stores nothing and the getter writes nothing.
#include "control/cvaxLumoraMain.h"

HRESULT TaxLumora::get_EnableMethodErrors(VARIANT_BOOL*) {
    return SafeCall([] {});
}

HRESULT TaxLumora::put_EnableMethodErrors(VARIANT_BOOL) {
    return SafeCall([] {});
}
