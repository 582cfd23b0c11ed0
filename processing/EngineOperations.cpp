// Members that hand the current bitmap to one engine operation and report its status, and the
// queries about the bitmap. None of them logs or repaints; the host asks for the repaint.
#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"

HRESULT TaxLumora::Invert(SHORT* Value) {
    return SafeCall([&] { *Value = EngineStatusToValue16(L_InvertBitmap(&CurrentBitmap)); });
}

HRESULT TaxLumora::Flip(SHORT* Value) {
    return SafeCall([&] { *Value = EngineStatusToValue16(L_FlipBitmap(&CurrentBitmap)); });
}

// Mirrors left and right.
HRESULT TaxLumora::VerticalMirror(SHORT* Value) {
    return SafeCall([&] { *Value = EngineStatusToValue16(L_ReverseBitmap(&CurrentBitmap)); });
}

HRESULT TaxLumora::Fill(ULONG crFill, SHORT* Value) {
    return SafeCall([&] { *Value = EngineStatusToValue16(L_FillBitmap(&CurrentBitmap, crFill)); });
}

// Turns the displayed image through its view perspective; the rectangles are left to the host.
HRESULT TaxLumora::FastRotate(LONG Angle, LONG* Value) {
    return SafeCall([&] {
        *Value = EngineStatusToValue(L_RotateBitmapViewPerspective(&CurrentBitmap, Angle));
    });
}

HRESULT TaxLumora::get_IsGrayscale(LONG* Value) {
    return SafeCall([&] { *Value = L_IsGrayScaleBitmap(&CurrentBitmap); });
}

HRESULT TaxLumora::get_InfoViewPerspective(LONG* Value) {
    return SafeCall([&] { *Value = CurrentBitmap.ViewPerspective; });
}

HRESULT TaxLumora::get_BitmapWidth(FLOAT* Value) {
    return SafeCall([&] { *Value = static_cast<FLOAT>(ViewWidth(CurrentBitmap)); });
}

HRESULT TaxLumora::get_BitmapHeight(FLOAT* Value) {
    return SafeCall([&] { *Value = static_cast<FLOAT>(ViewHeight(CurrentBitmap)); });
}
