#include <algorithm>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/PixelColor.h"

int L_IsGrayScaleBitmap(const BITMAPHANDLE* bitmap) {
    engine::ConstPixelView view;
    if (engine::AccessPixels(bitmap, &view) != SUCCESS) return GRAY_NO;
    if (engine::IsGrayFormat(view.format)) return GRAY_ORDEREDNORMAL;
    if (!engine::IsPaletteFormat(view.format)) return GRAY_NO;
    // Pixels read through a missing palette as the grey ramp (see PaletteEntry).
    if (bitmap->pPalette == nullptr) return GRAY_ORDEREDNORMAL;
    const std::uint32_t count = std::min(bitmap->nColors, 1u << view.bits);
    return engine::ClassifyPalette(bitmap->pPalette, count, view.bits);
}
