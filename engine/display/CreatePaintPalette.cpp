#include <vector>

#include "engine/Display.h"

HPALETTE L_CreatePaintPalette(HDC dc, const BITMAPHANDLE* bitmap) {
    if (!dc || !bitmap || GetDeviceCaps(dc, BITSPIXEL) > 8) return nullptr;
    // A palette display: the bitmap's own colours where it has them, else a grey ramp.
    std::vector<COLORREF> colors;
    if (bitmap->pPalette && bitmap->nColors > 0) {
        for (std::uint32_t i = 0; i < bitmap->nColors && i < 256; ++i)
            colors.push_back(RGB(bitmap->pPalette[i].rgbRed, bitmap->pPalette[i].rgbGreen,
                                 bitmap->pPalette[i].rgbBlue));
    } else {
        for (int i = 0; i < 256; ++i)
            colors.push_back(RGB(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                                 static_cast<std::uint8_t>(i)));
    }
    return CreatePaletteFromColors(colors.data(), static_cast<int>(colors.size()));
}
