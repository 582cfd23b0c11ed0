// Entry points whose members are not built yet: each answers E_NOTIMPL with error information
// naming the member. A member leaves this list when its subsystem folder defines it.
#include "control/cvaxLumoraMain.h"

// clang-format off
HRESULT TaxLumora::get_Visible(VARIANT_BOOL*) { return NotBuiltYet("Visible"); }
HRESULT TaxLumora::put_Visible(VARIANT_BOOL) { return NotBuiltYet("Visible"); }
HRESULT TaxLumora::get_AutoScroll(VARIANT_BOOL*) { return NotBuiltYet("AutoScroll"); }
HRESULT TaxLumora::put_AutoScroll(VARIANT_BOOL) { return NotBuiltYet("AutoScroll"); }
HRESULT TaxLumora::get_AutoSize(VARIANT_BOOL*) { return NotBuiltYet("AutoSize"); }
HRESULT TaxLumora::put_AutoSize(VARIANT_BOOL) { return NotBuiltYet("AutoSize"); }
HRESULT TaxLumora::get_AxBorderStyle(TxActiveFormBorderStyle*) { return NotBuiltYet("AxBorderStyle"); }
HRESULT TaxLumora::put_AxBorderStyle(TxActiveFormBorderStyle) { return NotBuiltYet("AxBorderStyle"); }
HRESULT TaxLumora::get_Caption(BSTR*) { return NotBuiltYet("Caption"); }
HRESULT TaxLumora::put_Caption(BSTR) { return NotBuiltYet("Caption"); }
HRESULT TaxLumora::get_Color(OLE_COLOR*) { return NotBuiltYet("Color"); }
HRESULT TaxLumora::put_Color(OLE_COLOR) { return NotBuiltYet("Color"); }
HRESULT TaxLumora::get_Font(IFontDisp**) { return NotBuiltYet("Font"); }
HRESULT TaxLumora::put_Font(IFontDisp*) { return NotBuiltYet("Font"); }
HRESULT TaxLumora::putref_Font(IFontDisp*) { return NotBuiltYet("Font"); }
HRESULT TaxLumora::get_KeyPreview(VARIANT_BOOL*) { return NotBuiltYet("KeyPreview"); }
HRESULT TaxLumora::put_KeyPreview(VARIANT_BOOL) { return NotBuiltYet("KeyPreview"); }
HRESULT TaxLumora::get_PixelsPerInch(LONG*) { return NotBuiltYet("PixelsPerInch"); }
HRESULT TaxLumora::put_PixelsPerInch(LONG) { return NotBuiltYet("PixelsPerInch"); }
HRESULT TaxLumora::get_PrintScale(TxPrintScale*) { return NotBuiltYet("PrintScale"); }
HRESULT TaxLumora::put_PrintScale(TxPrintScale) { return NotBuiltYet("PrintScale"); }
HRESULT TaxLumora::get_Scaled(VARIANT_BOOL*) { return NotBuiltYet("Scaled"); }
HRESULT TaxLumora::put_Scaled(VARIANT_BOOL) { return NotBuiltYet("Scaled"); }
HRESULT TaxLumora::get_Active(VARIANT_BOOL*) { return NotBuiltYet("Active"); }
HRESULT TaxLumora::get_DropTarget(VARIANT_BOOL*) { return NotBuiltYet("DropTarget"); }
HRESULT TaxLumora::put_DropTarget(VARIANT_BOOL) { return NotBuiltYet("DropTarget"); }
HRESULT TaxLumora::get_HelpFile(BSTR*) { return NotBuiltYet("HelpFile"); }
HRESULT TaxLumora::put_HelpFile(BSTR) { return NotBuiltYet("HelpFile"); }
HRESULT TaxLumora::get_PopupMode(TxPopupMode*) { return NotBuiltYet("PopupMode"); }
HRESULT TaxLumora::put_PopupMode(TxPopupMode) { return NotBuiltYet("PopupMode"); }
HRESULT TaxLumora::get_ScreenSnap(VARIANT_BOOL*) { return NotBuiltYet("ScreenSnap"); }
HRESULT TaxLumora::put_ScreenSnap(VARIANT_BOOL) { return NotBuiltYet("ScreenSnap"); }
HRESULT TaxLumora::get_SnapBuffer(LONG*) { return NotBuiltYet("SnapBuffer"); }
HRESULT TaxLumora::put_SnapBuffer(LONG) { return NotBuiltYet("SnapBuffer"); }
HRESULT TaxLumora::get_DockSite(VARIANT_BOOL*) { return NotBuiltYet("DockSite"); }
HRESULT TaxLumora::put_DockSite(VARIANT_BOOL) { return NotBuiltYet("DockSite"); }
HRESULT TaxLumora::get_DoubleBuffered(VARIANT_BOOL*) { return NotBuiltYet("DoubleBuffered"); }
HRESULT TaxLumora::put_DoubleBuffered(VARIANT_BOOL) { return NotBuiltYet("DoubleBuffered"); }
HRESULT TaxLumora::get_AlignDisabled(VARIANT_BOOL*) { return NotBuiltYet("AlignDisabled"); }
HRESULT TaxLumora::get_MouseInClient(VARIANT_BOOL*) { return NotBuiltYet("MouseInClient"); }
HRESULT TaxLumora::get_VisibleDockClientCount(LONG*) { return NotBuiltYet("VisibleDockClientCount"); }
HRESULT TaxLumora::get_UseDockManager(VARIANT_BOOL*) { return NotBuiltYet("UseDockManager"); }
HRESULT TaxLumora::put_UseDockManager(VARIANT_BOOL) { return NotBuiltYet("UseDockManager"); }
HRESULT TaxLumora::get_Enabled(VARIANT_BOOL*) { return NotBuiltYet("Enabled"); }
HRESULT TaxLumora::put_Enabled(VARIANT_BOOL) { return NotBuiltYet("Enabled"); }
HRESULT TaxLumora::get_ExplicitLeft(LONG*) { return NotBuiltYet("ExplicitLeft"); }
HRESULT TaxLumora::get_ExplicitTop(LONG*) { return NotBuiltYet("ExplicitTop"); }
HRESULT TaxLumora::get_ExplicitWidth(LONG*) { return NotBuiltYet("ExplicitWidth"); }
HRESULT TaxLumora::get_ExplicitHeight(LONG*) { return NotBuiltYet("ExplicitHeight"); }
HRESULT TaxLumora::get_AlignWithMargins(VARIANT_BOOL*) { return NotBuiltYet("AlignWithMargins"); }
HRESULT TaxLumora::put_AlignWithMargins(VARIANT_BOOL) { return NotBuiltYet("AlignWithMargins"); }
HRESULT TaxLumora::ExecCorrection(LONG) { return NotBuiltYet("ExecCorrection"); }
HRESULT TaxLumora::PutWaterMark(BSTR) { return NotBuiltYet("PutWaterMark"); }
HRESULT TaxLumora::PutSymbolOnLead_16Bit(BYTE, BYTE, BYTE) { return NotBuiltYet("PutSymbolOnLead_16Bit"); }
HRESULT TaxLumora::SAVE(BSTR, SHORT, SHORT, SHORT, SHORT, SHORT*) { return NotBuiltYet("SAVE"); }
HRESULT TaxLumora::Load(BSTR, LONG, LONG, LONG, SHORT*) { return NotBuiltYet("Load"); }
HRESULT TaxLumora::GetFileInfo(BSTR, LONG, LONG, TaxLumora_FileInfo*) { return NotBuiltYet("GetFileInfo"); }
HRESULT TaxLumora::WriteStamp(BSTR, LONG*) { return NotBuiltYet("WriteStamp"); }
HRESULT TaxLumora::ROTATE(LONG, SHORT, LONG, SHORT*) { return NotBuiltYet("ROTATE"); }
HRESULT TaxLumora::HorizontalMirror(SHORT*) { return NotBuiltYet("HorizontalMirror"); }
HRESULT TaxLumora::Average(LONG, SHORT*) { return NotBuiltYet("Average"); }
HRESULT TaxLumora::Median(LONG, SHORT*) { return NotBuiltYet("Median"); }
HRESULT TaxLumora::Sharpen(LONG, SHORT*) { return NotBuiltYet("Sharpen"); }
HRESULT TaxLumora::Despeckle(SHORT*) { return NotBuiltYet("Despeckle"); }
HRESULT TaxLumora::GaussianBlur(DOUBLE, SHORT*) { return NotBuiltYet("GaussianBlur"); }
HRESULT TaxLumora::UnsharpMask(LONG, LONG, SHORT*) { return NotBuiltYet("UnsharpMask"); }
HRESULT TaxLumora::StretchIntensity(SHORT*) { return NotBuiltYet("StretchIntensity"); }
HRESULT TaxLumora::HistoEqualize(SHORT*) { return NotBuiltYet("HistoEqualize"); }
HRESULT TaxLumora::HistoContrast(LONG, SHORT*) { return NotBuiltYet("HistoContrast"); }
HRESULT TaxLumora::SpatialFilter(LONG, SHORT*) { return NotBuiltYet("SpatialFilter"); }
HRESULT TaxLumora::GammaCorrect(LONG, SHORT*) { return NotBuiltYet("GammaCorrect"); }
HRESULT TaxLumora::Windowing(LONG, LONG, SHORT*) { return NotBuiltYet("Windowing"); }
HRESULT TaxLumora::AutoWindowing(LONG, LONG, LONG, SHORT*) { return NotBuiltYet("AutoWindowing"); }
HRESULT TaxLumora::Shadow(ULONG, ULONG, ULONG, LONG*) { return NotBuiltYet("Shadow"); }
HRESULT TaxLumora::Repaint() { return NotBuiltYet("Repaint"); }
HRESULT TaxLumora::SaveMemory(ULONG*, SHORT, SHORT, SHORT, LONG*, LONG*) { return NotBuiltYet("SaveMemory"); }
HRESULT TaxLumora::LoadMemory(ULONG, SHORT, LONG, LONG, LONG, LONG*) { return NotBuiltYet("LoadMemory"); }
HRESULT TaxLumora::GrayScale(LONG, LONG*) { return NotBuiltYet("GrayScale"); }
HRESULT TaxLumora::RenderLR(LONG, LONG, BSTR, BSTR, ULONGLONG, LONG*) { return NotBuiltYet("RenderLR"); }
HRESULT TaxLumora::AddTextToBottom(BSTR, VARIANT_BOOL, VARIANT_BOOL, ULONGLONG, LONG*) { return NotBuiltYet("AddTextToBottom"); }
HRESULT TaxLumora::RenderRuler(LONG, LONG, LONG*) { return NotBuiltYet("RenderRuler"); }
HRESULT TaxLumora::GetTag(LONG, VARIANT*) { return NotBuiltYet("GetTag"); }
HRESULT TaxLumora::SetTag(LONG, VARIANT, LONG*) { return NotBuiltYet("SetTag"); }
HRESULT TaxLumora::OptimizeBuffer(ULONGLONG, LONG, LONG, LONG, LONG, LONG, ULONGLONG, LONG*) { return NotBuiltYet("OptimizeBuffer"); }
HRESULT TaxLumora::OptimizeImage(BSTR, LONG, LONG, LONG, LONG, LONG, ULONGLONG, LONG*) { return NotBuiltYet("OptimizeImage"); }
HRESULT TaxLumora::ForceRepaint() { return NotBuiltYet("ForceRepaint"); }
HRESULT TaxLumora::LoadArray(VARIANT, SHORT, LONG, LONG, LONG, LONG*) { return NotBuiltYet("LoadArray"); }
HRESULT TaxLumora::SaveArray(SHORT, SHORT, SHORT, VARIANT*) { return NotBuiltYet("SaveArray"); }
HRESULT TaxLumora::get_BackColor(LONG*) { return NotBuiltYet("BackColor"); }
HRESULT TaxLumora::put_BackColor(LONG) { return NotBuiltYet("BackColor"); }
HRESULT TaxLumora::Fix16BitData(ULONGLONG, LONG*) { return NotBuiltYet("Fix16BitData"); }
HRESULT TaxLumora::ApplyCorrectionFile(BSTR, BSTR, VARIANT_BOOL, ULONGLONG, LONG*) { return NotBuiltYet("ApplyCorrectionFile"); }
HRESULT TaxLumora::SetDIB(OLE_HANDLE, LONG*) { return NotBuiltYet("SetDIB"); }
HRESULT TaxLumora::Trim(LONG, LONG, LONG, LONG, LONG*) { return NotBuiltYet("Trim"); }
HRESULT TaxLumora::SIZE(LONG, LONG, LONG, LONG*) { return NotBuiltYet("SIZE"); }
HRESULT TaxLumora::AnnRealize(BSTR, VARIANT_BOOL, ULONGLONG, LONG*) { return NotBuiltYet("AnnRealize"); }
HRESULT TaxLumora::RenderDC(ULONGLONG, TaxLumora_Rect, TaxLumora_Rect, TaxLumora_Rect, TaxLumora_Rect, ULONG, ULONGLONG, LONG*) { return NotBuiltYet("RenderDC"); }
HRESULT TaxLumora::ColorRes(LONG, LONG, LONG, LONG, ULONGLONG, LONG*) { return NotBuiltYet("ColorRes"); }
HRESULT TaxLumora::Combine(LONG, LONG, LONG, LONG, ULONGLONG, LONG, LONG, ULONG, LONG*) { return NotBuiltYet("Combine"); }
HRESULT TaxLumora::GetMemoryInfo(ULONGLONG, LONG, LONG, LONG, TaxLumora_FileInfo*) { return NotBuiltYet("GetMemoryInfo"); }
HRESULT TaxLumora::ContourFilter(LONG, LONG, LONG, LONG, LONG*) { return NotBuiltYet("ContourFilter"); }
HRESULT TaxLumora::SetPaintScalingMode(LONG, LONG*) { return NotBuiltYet("SetPaintScalingMode"); }
HRESULT TaxLumora::SetSrcRect(LONG, LONG, LONG, LONG, LONG*) { return NotBuiltYet("SetSrcRect"); }
HRESULT TaxLumora::SetSrcClipRect(LONG, LONG, LONG, LONG, LONG*) { return NotBuiltYet("SetSrcClipRect"); }
HRESULT TaxLumora::SetDstRect(LONG, LONG, LONG, LONG, LONG*) { return NotBuiltYet("SetDstRect"); }
HRESULT TaxLumora::SetDstClipRect(LONG, LONG, LONG, LONG, LONG*) { return NotBuiltYet("SetDstClipRect"); }
HRESULT TaxLumora::get_AutoScrollbars(VARIANT_BOOL*) { return NotBuiltYet("AutoScrollbars"); }
HRESULT TaxLumora::put_AutoScrollbars(VARIANT_BOOL) { return NotBuiltYet("AutoScrollbars"); }
HRESULT TaxLumora::DrawSimpleFrame(LONG, LONG, LONG, LONG, LONG, OLE_COLOR, LONG, VARIANT_BOOL, LONG*) { return NotBuiltYet("DrawSimpleFrame"); }
HRESULT TaxLumora::DrawSimpleRectangle(LONG, LONG, LONG, LONG, OLE_COLOR, LONG*) { return NotBuiltYet("DrawSimpleRectangle"); }
HRESULT TaxLumora::DrawSimpleText(BSTR, LONG, LONG, LONG, LONG, LONG, LONG, LONG, BSTR, LONG, LONG, OLE_COLOR, LONG*) { return NotBuiltYet("DrawSimpleText"); }
HRESULT TaxLumora::get_Cursor(LONG*) { return NotBuiltYet("Cursor"); }
HRESULT TaxLumora::put_Cursor(LONG) { return NotBuiltYet("Cursor"); }
HRESULT TaxLumora::b2sConvertS(FLOAT, FLOAT, FLOAT*, FLOAT*, LONG*) { return NotBuiltYet("b2sConvertS"); }
HRESULT TaxLumora::Emboss(LONG, LONG, LONG*) { return NotBuiltYet("Emboss"); }
HRESULT TaxLumora::DrawSimpleLine(LONG, LONG, LONG, LONG, LONG, OLE_COLOR, LONG, VARIANT_BOOL, LONG*) { return NotBuiltYet("DrawSimpleLine"); }
HRESULT TaxLumora::InvertPixel(LONG, LONG, LONG*) { return NotBuiltYet("InvertPixel"); }
HRESULT TaxLumora::SetPaintLUT(ULONGLONG, LONG, LONG*) { return NotBuiltYet("SetPaintLUT"); }
// clang-format on
