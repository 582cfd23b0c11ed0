// Grey conversion's plain per-pixel reference, which the fast row kernels of L_GrayScaleBitmap
// must match bit for bit.
#pragma once

#include "engine/Bitmap.h"

namespace engine {

int GrayScaleReference(BITMAPHANDLE* bitmap, int bitsPerPixel);

}  // namespace engine
