#include <vector>

#include "engine/Display.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapStorage.h"

int L_WindowLevel(BITMAPHANDLE* bitmap, int lowBit, int highBit, const RGBQUAD* lut,
                  std::uint32_t lutLength, unsigned flags) {
    if (!bitmap) return ERROR_NO_BITMAP;
    engine::PixelView view;
    if (int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if ((bitmap->BitsPerPixel != 12 && bitmap->BitsPerPixel != 16) || bitmap->Order != ORDER_GRAY)
        return ERROR_BITPERPIXEL;
    if (lowBit < 0 || highBit < lowBit || highBit >= bitmap->BitsPerPixel)
        return ERROR_INV_PARAMETER;
    if (lutLength == 0 || lutLength > 65536) return ERROR_INV_PARAMETER;
    if (!(flags & WINDOWLEVEL_FILLLUT) && !lut) return ERROR_INV_PARAMETER;

    std::vector<RGBQUAD> table;
    try {
        table.resize(lutLength);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    if (flags & WINDOWLEVEL_FILLLUT) {
        for (std::uint32_t i = 0; i < lutLength; ++i) {
            const auto level = static_cast<std::uint8_t>(
                lutLength == 1 ? 255
                               : (static_cast<std::uint64_t>(i) * 255 + (lutLength - 1) / 2) /
                                     (lutLength - 1));
            table[i] = RGBQUAD{level, level, level, 0};
        }
    } else {
        // Copied first: lut may be the bitmap's own table, which SetOwnedLookupTable replaces.
        table.assign(lut, lut + lutLength);
    }
    if (int status = engine::SetOwnedLookupTable(bitmap, table.data(), lutLength);
        status != SUCCESS)
        return status;
    bitmap->PaintLowBit = lowBit;
    bitmap->PaintHighBit = highBit;
    bitmap->Flags &= ~BITMAP_FLAG_FILE_WINDOW;
    return SUCCESS;
}

int L_ResetFileWindow(BITMAPHANDLE* bitmap) {
    if (!bitmap || !(bitmap->Flags & BITMAP_FLAG_FILE_WINDOW)) return SUCCESS;
    if (const int status = engine::SetOwnedLookupTable(bitmap, nullptr, 0); status != SUCCESS)
        return status;
    bitmap->PaintLowBit = 0;
    bitmap->PaintHighBit = -1;
    bitmap->Flags &= ~BITMAP_FLAG_FILE_WINDOW;
    return SUCCESS;
}
