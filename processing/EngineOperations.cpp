// Members that hand the current bitmap to one engine operation and report its status, and the
// queries about the bitmap. None of them logs or repaints; the host asks for the repaint.
#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"
#include "engine/Processing.h"

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

// Angle in hundredths of a degree; the rectangles follow only a successful rotation.
HRESULT TaxLumora::ROTATE(LONG iAngle, SHORT iFlags, LONG crFill, SHORT* Value) {
    return SafeCall([&] {
        const std::uint32_t fill = CheckedUnsigned(crFill);
        const unsigned flags = CheckedUnsigned(iFlags);
        const int status = L_RotateBitmap(&CurrentBitmap, iAngle, flags, fill);
        if (status == SUCCESS) UpdatePaintRects(true, true, true);
        *Value = EngineStatusToValue16(status);
    });
}

// Mirrors top and bottom: a left-right mirror and a half turn. Value is the turn's status.
HRESULT TaxLumora::HorizontalMirror(SHORT* Value) {
    return SafeCall([&] {
        L_ReverseBitmap(&CurrentBitmap);
        *Value = EngineStatusToValue16(L_RotateBitmap(&CurrentBitmap, 18000, ROTATEFLAG_RESIZE, 0));
    });
}

HRESULT TaxLumora::Average(LONG iDim, SHORT* Value) {
    return SafeCall([&] {
        CheckedUnsigned(iDim);
        *Value = EngineStatusToValue16(L_AverageFilterBitmap(&CurrentBitmap, iDim));
    });
}

HRESULT TaxLumora::GrayScale(LONG iBitsPerPixel, LONG* Value) {
    return SafeCall([&] {
        *Value = L_GrayScaleBitmap(&CurrentBitmap, iBitsPerPixel);
        RefreshPaintPalette(false);
        *Value = EngineStatusToValue(*Value);
    });
}

// The rectangles follow only a successful trim.
HRESULT TaxLumora::Trim(LONG Left, LONG Top, LONG Width, LONG Height, LONG* Value) {
    return SafeCall([&] {
        CheckedUnsigned(Height);
        CheckedUnsigned(Width);
        *Value = L_TrimBitmap(&CurrentBitmap, Left, Top, Width, Height);
        if (*Value == SUCCESS) UpdatePaintRects(true, true, true);
        *Value = EngineStatusToValue(*Value);
    });
}

// The caller's width and height are those of the displayed image: for a transposed view they
// are exchanged before they reach the pixel memory.
HRESULT TaxLumora::SIZE(LONG Width, LONG Height, LONG uFlags, LONG* Value) {
    return SafeCall([&] {
        const unsigned flags = CheckedUnsigned(uFlags);
        *Value = IsTransposedView(CurrentBitmap)
                     ? L_SizeBitmap(&CurrentBitmap, Height, Width, flags)
                     : L_SizeBitmap(&CurrentBitmap, Width, Height, flags);
        *Value = EngineStatusToValue(*Value);
        ImageReplaced();
    });
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
