// Members that hand the current bitmap to one of the engine's intensity, colour-resolution or
// combining operations and report its status. None of them logs.
#include "control/cvaxLumoraMain.h"
#include "engine/Intensity.h"
#include "engine/Kernel.h"
#include "platform/handles/HandleTable.h"

HRESULT TaxLumora::StretchIntensity(SHORT* Value) {
    return SafeCall(
        [&] { *Value = EngineStatusToValue16(L_StretchBitmapIntensity(&CurrentBitmap)); });
}

// Grey images equalise their levels, colour images their luminance.
HRESULT TaxLumora::HistoEqualize(SHORT* Value) {
    return SafeCall([&] {
        const unsigned flags =
            L_IsGrayScaleBitmap(&CurrentBitmap) != GRAY_NO ? HISTOEQ_GRAYLEVELS : HISTOEQ_LUMINANCE;
        *Value = EngineStatusToValue16(L_HistoEqualizeBitmap(&CurrentBitmap, flags));
    });
}

// A change of 0 is refused without touching the image.
HRESULT TaxLumora::HistoContrast(LONG iChange, SHORT* Value) {
    return SafeCall([&] {
        if (iChange == 0) {
            *Value = -1;
            return;
        }
        *Value = EngineStatusToValue16(L_HistoContrastBitmap(&CurrentBitmap, iChange));
    });
}

HRESULT TaxLumora::GammaCorrect(LONG iGamma, SHORT* Value) {
    return SafeCall([&] {
        const unsigned gamma = CheckedUnsigned(iGamma);
        *Value = EngineStatusToValue16(L_GammaCorrectBitmap(&CurrentBitmap, gamma));
    });
}

// Returns the engine's status as it is (1 is success) and catches its own errors as -1.
HRESULT TaxLumora::Shadow(ULONG uAngle, ULONG uThreshold, ULONG uFlags, LONG* Value) {
    return SafeCall([&] {
        InnerHandler(
            *Value, [&] { *Value = L_AddShadowBitmap(&CurrentBitmap, uAngle, uThreshold, uFlags); },
            LogCaughtError("Shadow"));
    });
}

// The converted image replaces the current one. uFlags is not used.
HRESULT TaxLumora::ColorRes(LONG BitsPerPixel, LONG Palette, LONG Dither, LONG Colors,
                            ULONGLONG /*uFlags*/, LONG* Value) {
    return SafeCall([&] {
        const unsigned colors = CheckedUnsigned(Colors);
        // The dither kind sits above the palette flags; a shift past the sign bit wraps, as the
        // 32-bit word does, and is then refused as negative.
        const auto word =
            static_cast<LONG>((static_cast<std::uint32_t>(Dither) << COLORRES_DITHER_SHIFT) |
                              static_cast<std::uint32_t>(Palette));
        const unsigned flags = CheckedUnsigned(word);
        *Value = L_ColorResBitmap(&CurrentBitmap, &CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE,
                                  BitsPerPixel, flags, nullptr, nullptr, colors, nullptr, nullptr);
        RefreshPaintPalette(false);
        *Value = EngineStatusToValue(*Value);
    });
}

// The source is named by the low 32 bits of SrcBitmap: a key of the process-wide handle table,
// as the Bitmap property hands out (a pointer would not fit). A key that names no live bitmap
// reaches the engine as no bitmap and fails there. The source may be the current bitmap itself.
HRESULT TaxLumora::Combine(LONG Left, LONG Top, LONG Width, LONG Height, ULONGLONG SrcBitmap,
                           LONG SrcLeft, LONG SrcTop, ULONG uFlags, LONG* Value) {
    return SafeCall([&] {
        const auto key = static_cast<std::uint32_t>(SrcBitmap);
        const BITMAPHANDLE* source = LookupHandleAs<BITMAPHANDLE>(HandleKind::EngineBitmap, key);
        *Value = L_CombineBitmap(&CurrentBitmap, Left, Top, Width, Height, source, SrcLeft, SrcTop,
                                 uFlags);
        RefreshPaintPalette(false);
        *Value = EngineStatusToValue(*Value);
    });
}
