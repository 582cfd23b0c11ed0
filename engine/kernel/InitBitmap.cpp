#include "engine/Kernel.h"
#include "engine/kernel/BitmapLayout.h"
#include "engine/kernel/BitmapStorage.h"

// The record is reset even when the description is refused, so callers that ignore the status
// (start-up does) still hold a clean empty bitmap. Size stays 0: no memory is held.
int L_InitBitmap(BITMAPHANDLE* bitmap, unsigned structSize, int width, int height,
                 int bitsPerPixel) {
    if (bitmap == nullptr) return ERROR_NO_BITMAP;
    if (structSize != BITMAPHANDLE_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    const bool depthOk = bitsPerPixel == 0 || engine::IsSupportedDepth(bitsPerPixel);
    const bool sizeOk = width >= 0 && height >= 0 && width <= engine::kMaxDimension &&
                        height <= engine::kMaxDimension;
    if (!depthOk || !sizeOk) {
        engine::ResetRecord(bitmap, 0, 0, 0);
        return depthOk ? ERROR_INV_SIZE : ERROR_BITPERPIXEL;
    }
    engine::ResetRecord(bitmap, width, height, bitsPerPixel);
    return SUCCESS;
}
