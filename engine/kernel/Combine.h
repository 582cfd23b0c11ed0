// The combining kernel behind L_CombineBitmap, for tests of its fast path.
#pragma once

#include "engine/Bitmap.h"

namespace engine {

// L_CombineBitmap with every pixel taken through the sample conversion, never the fast copy of
// matching formats: the plain reference that fast path must equal bit for bit.
int CombineBitmapConverted(BITMAPHANDLE* destination, int xDst, int yDst, int width, int height,
                           const BITMAPHANDLE* source, int xSrc, int ySrc, unsigned flags);

}  // namespace engine
