#include "io/RawFrame.h"

#include "engine/Kernel.h"

namespace raw_frame {

int FreeAndInitialise(BITMAPHANDLE& bitmap) {
    L_FreeBitmap(&bitmap);
    return L_InitBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
}

void CreateFrameBitmap(BITMAPHANDLE& bitmap, std::int32_t width, std::int32_t height, bool colour) {
    L_CreateBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, CheckedUnsigned(width),
                   CheckedUnsigned(height), colour ? 24 : 16, colour ? ORDER_RGB : ORDER_GRAY,
                   nullptr, TOP_LEFT, nullptr, 0);
}

}  // namespace raw_frame
