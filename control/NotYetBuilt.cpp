// Entry points whose members are not built yet: each answers E_NOTIMPL with error information
// naming the member. A member leaves this list when its subsystem folder defines it.
#include "control/cvaxLumoraMain.h"

// clang-format off
HRESULT TaxLumora::Median(LONG, SHORT*) { return NotBuiltYet("Median"); }
HRESULT TaxLumora::Sharpen(LONG, SHORT*) { return NotBuiltYet("Sharpen"); }
HRESULT TaxLumora::Despeckle(SHORT*) { return NotBuiltYet("Despeckle"); }
HRESULT TaxLumora::StretchIntensity(SHORT*) { return NotBuiltYet("StretchIntensity"); }
HRESULT TaxLumora::HistoEqualize(SHORT*) { return NotBuiltYet("HistoEqualize"); }
HRESULT TaxLumora::HistoContrast(LONG, SHORT*) { return NotBuiltYet("HistoContrast"); }
HRESULT TaxLumora::SpatialFilter(LONG, SHORT*) { return NotBuiltYet("SpatialFilter"); }
HRESULT TaxLumora::GammaCorrect(LONG, SHORT*) { return NotBuiltYet("GammaCorrect"); }
HRESULT TaxLumora::Shadow(ULONG, ULONG, ULONG, LONG*) { return NotBuiltYet("Shadow"); }
HRESULT TaxLumora::ColorRes(LONG, LONG, LONG, LONG, ULONGLONG, LONG*) { return NotBuiltYet("ColorRes"); }
HRESULT TaxLumora::Combine(LONG, LONG, LONG, LONG, ULONGLONG, LONG, LONG, ULONG, LONG*) { return NotBuiltYet("Combine"); }
HRESULT TaxLumora::ContourFilter(LONG, LONG, LONG, LONG, LONG*) { return NotBuiltYet("ContourFilter"); }
HRESULT TaxLumora::Emboss(LONG, LONG, LONG*) { return NotBuiltYet("Emboss"); }
// clang-format on
