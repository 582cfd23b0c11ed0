#include "engine/Kernel.h"

ScopedBitmap::ScopedBitmap() : handle_{} {
    L_InitBitmap(&handle_, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
}

ScopedBitmap::~ScopedBitmap() { L_FreeBitmap(&handle_); }
