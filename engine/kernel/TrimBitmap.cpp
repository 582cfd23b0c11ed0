#include <cstring>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapLayout.h"
#include "engine/kernel/BitmapStorage.h"

// Keeps the rectangle left … left + width − 1, top … top + height − 1 of the pixel memory (rows
// and columns as stored, like the single-pixel operations); every other field stays.
int L_TrimBitmap(BITMAPHANDLE* bitmap, int left, int top, int width, int height) {
    engine::ConstPixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (width <= 0 || height <= 0) return ERROR_INV_SIZE;
    if (left < 0 || top < 0 || left > view.width - width || top > view.height - height)
        return ERROR_INV_RANGE;

    BITMAPHANDLE trimmed;
    if (const int status = engine::AllocateLike(*bitmap, width, height, 0, &trimmed);
        status != SUCCESS)
        return status;
    engine::PixelView target;
    if (const int status = engine::AccessPixels(&trimmed, &target); status != SUCCESS) {
        engine::ReleaseStorage(trimmed);
        return status;
    }
    const bool packed = engine::IsPackedFormat(view.format);
    const std::size_t pixelBytes = view.bits == 12 ? 2 : static_cast<std::size_t>(view.bits) / 8;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = view.RowBytes(top + y);
        std::uint8_t* to = target.RowBytes(y);
        if (packed) {
            for (int x = 0; x < width; ++x)
                engine::WriteIndex(to, x, view.bits, engine::ReadIndex(from, left + x, view.bits));
        } else {
            std::memcpy(to, from + static_cast<std::size_t>(left) * pixelBytes,
                        static_cast<std::size_t>(width) * pixelBytes);
        }
    }
    engine::ReleaseStorage(*bitmap);
    *bitmap = trimmed;
    return SUCCESS;
}
