// The control's unsharp mask of 16-bit grey images: stretch the occupied range to 0 … 65535,
// then subtract a fraction of a box-averaged copy. The arithmetic is extended precision with
// ties-to-even rounding; the fast paths are checked bit for bit against the plain ones.
#pragma once

#include <cstdint>

#include "engine/Bitmap.h"
#include "engine/PixelView.h"

namespace vexo {

// Stretches the image so its darkest pixel becomes 0 and its brightest almost 65535.
void StretchToFullRange(const engine::PixelView& image);
void StretchToFullRangeReference(const engine::PixelView& image);

// out = round((v − b × f) / (1 − f)), f = fract / 10, clamped to 0 … 65535; v from image, b from
// blurred (same geometry). fract must not be 10.
void SubtractBlurred(const engine::PixelView& image, const engine::PixelView& blurred, int fract);
void SubtractBlurredReference(const engine::PixelView& image, const engine::PixelView& blurred,
                              int fract);

// The whole mask on a 16-bit bitmap: stretch, engine box average of size radius, subtract.
// False when the bitmap is no usable 16-bit image. Throws std::bad_alloc. On a grey bitmap with
// a size of 1 … 255 the fast path makes the box average itself, fused with the other two steps;
// the reference always goes through the engine's copy and average filter.
bool ApplyUnsharpMask(BITMAPHANDLE* bitmap, int fract, int radius);
bool ApplyUnsharpMaskReference(BITMAPHANDLE* bitmap, int fract, int radius);

}  // namespace vexo
