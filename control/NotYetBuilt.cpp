// Entry points whose members are not built yet: each answers E_NOTIMPL with error information
// naming the member. A member leaves this list when its subsystem folder defines it.
#include "control/cvaxLumoraMain.h"

// clang-format off
HRESULT TaxLumora::PutWaterMark(BSTR) { return NotBuiltYet("PutWaterMark"); }
HRESULT TaxLumora::PutSymbolOnLead_16Bit(BYTE, BYTE, BYTE) { return NotBuiltYet("PutSymbolOnLead_16Bit"); }
HRESULT TaxLumora::WriteStamp(BSTR, LONG*) { return NotBuiltYet("WriteStamp"); }
HRESULT TaxLumora::Median(LONG, SHORT*) { return NotBuiltYet("Median"); }
HRESULT TaxLumora::Sharpen(LONG, SHORT*) { return NotBuiltYet("Sharpen"); }
HRESULT TaxLumora::Despeckle(SHORT*) { return NotBuiltYet("Despeckle"); }
HRESULT TaxLumora::StretchIntensity(SHORT*) { return NotBuiltYet("StretchIntensity"); }
HRESULT TaxLumora::HistoEqualize(SHORT*) { return NotBuiltYet("HistoEqualize"); }
HRESULT TaxLumora::HistoContrast(LONG, SHORT*) { return NotBuiltYet("HistoContrast"); }
HRESULT TaxLumora::SpatialFilter(LONG, SHORT*) { return NotBuiltYet("SpatialFilter"); }
HRESULT TaxLumora::GammaCorrect(LONG, SHORT*) { return NotBuiltYet("GammaCorrect"); }
HRESULT TaxLumora::Shadow(ULONG, ULONG, ULONG, LONG*) { return NotBuiltYet("Shadow"); }
HRESULT TaxLumora::RenderLR(LONG, LONG, BSTR, BSTR, ULONGLONG, LONG*) { return NotBuiltYet("RenderLR"); }
HRESULT TaxLumora::AddTextToBottom(BSTR, VARIANT_BOOL, VARIANT_BOOL, ULONGLONG, LONG*) { return NotBuiltYet("AddTextToBottom"); }
HRESULT TaxLumora::RenderRuler(LONG, LONG, LONG*) { return NotBuiltYet("RenderRuler"); }
HRESULT TaxLumora::AnnRealize(BSTR, VARIANT_BOOL, ULONGLONG, LONG*) { return NotBuiltYet("AnnRealize"); }
HRESULT TaxLumora::ColorRes(LONG, LONG, LONG, LONG, ULONGLONG, LONG*) { return NotBuiltYet("ColorRes"); }
HRESULT TaxLumora::Combine(LONG, LONG, LONG, LONG, ULONGLONG, LONG, LONG, ULONG, LONG*) { return NotBuiltYet("Combine"); }
HRESULT TaxLumora::ContourFilter(LONG, LONG, LONG, LONG, LONG*) { return NotBuiltYet("ContourFilter"); }
HRESULT TaxLumora::DrawSimpleFrame(LONG, LONG, LONG, LONG, LONG, OLE_COLOR, LONG, VARIANT_BOOL, LONG*) { return NotBuiltYet("DrawSimpleFrame"); }
HRESULT TaxLumora::DrawSimpleRectangle(LONG, LONG, LONG, LONG, OLE_COLOR, LONG*) { return NotBuiltYet("DrawSimpleRectangle"); }
HRESULT TaxLumora::DrawSimpleText(BSTR, LONG, LONG, LONG, LONG, LONG, LONG, LONG, BSTR, LONG, LONG, OLE_COLOR, LONG*) { return NotBuiltYet("DrawSimpleText"); }
HRESULT TaxLumora::Emboss(LONG, LONG, LONG*) { return NotBuiltYet("Emboss"); }
HRESULT TaxLumora::DrawSimpleLine(LONG, LONG, LONG, LONG, LONG, OLE_COLOR, LONG, VARIANT_BOOL, LONG*) { return NotBuiltYet("DrawSimpleLine"); }
HRESULT TaxLumora::InvertPixel(LONG, LONG, LONG*) { return NotBuiltYet("InvertPixel"); }
// clang-format on
