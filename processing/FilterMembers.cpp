// Filter members: each checks the arguments the engine takes as unsigned or 16-bit quantities,
// hands the current bitmap to one engine filter and reports its status. None logs or repaints;
// the host asks for the repaint.
#include "control/cvaxLumoraMain.h"
#include "engine/Filters.h"

HRESULT TaxLumora::Median(LONG iDim, SHORT* Value) {
    return SafeCall([&] {
        CheckedUnsigned(iDim);
        *Value = EngineStatusToValue16(L_MedianFilterBitmap(&CurrentBitmap, iDim));
    });
}

HRESULT TaxLumora::Sharpen(LONG iChange, SHORT* Value) {
    return SafeCall(
        [&] { *Value = EngineStatusToValue16(L_SharpenBitmap(&CurrentBitmap, iChange)); });
}

HRESULT TaxLumora::Despeckle(SHORT* Value) {
    return SafeCall([&] { *Value = EngineStatusToValue16(L_DespeckleBitmap(&CurrentBitmap)); });
}

// Filter 99 is refused here without reaching the engine: Value −1, the image untouched.
HRESULT TaxLumora::SpatialFilter(LONG iType, SHORT* Value) {
    return SafeCall([&] {
        if (iType == 99) {
            *Value = -1;
            return;
        }
        *Value = EngineStatusToValue16(L_SpatialFilterBitmap(&CurrentBitmap, iType));
    });
}

// The engine takes the three numbers as 16-bit quantities, checked in this order.
HRESULT TaxLumora::ContourFilter(LONG nThreshold, LONG nDeltaDirection, LONG nMaximumError,
                                 LONG nOption, LONG* Value) {
    return SafeCall([&] {
        const auto maximumError = Checked<SHORT>(nMaximumError);
        const auto deltaDirection = Checked<SHORT>(nDeltaDirection);
        const auto threshold = Checked<SHORT>(nThreshold);
        *Value = EngineStatusToValue(L_ContourFilterBitmap(&CurrentBitmap, threshold,
                                                           deltaDirection, maximumError, nOption));
    });
}

// Direction in hundredths of a degree; both arguments unsigned to the engine, Depth checked first.
HRESULT TaxLumora::Emboss(LONG Direction, LONG Depth, LONG* Value) {
    return SafeCall([&] {
        const unsigned depth = CheckedUnsigned(Depth);
        const unsigned direction = CheckedUnsigned(Direction);
        *Value = EngineStatusToValue(L_EmbossBitmap(&CurrentBitmap, direction, depth));
    });
}
