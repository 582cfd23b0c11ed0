// Display operations of the engine: how a bitmap is painted. The paint window and the bitmap's
// own lookup table decide how 12- and 16-bit grey samples become colours on screen.
#pragma once

#include <cstdint>

#include "engine/Bitmap.h"
#include "engine/Status.h"

// L_WindowLevel flags.
constexpr unsigned WINDOWLEVEL_FILLLUT = 0x1;  // fill the table with a linear grey ramp

// Sets the paint window of a 12/16-bit grey bitmap to the bits lowBit … highBit and gives the
// bitmap its own copy of a lookup table of lutLength entries (1 … 65536). With
// WINDOWLEVEL_FILLLUT the table is filled with a linear ramp from black to white instead of
// being read from lut (which may then be null or the bitmap's own table). Painting maps a sample
// v to entry ((v >> lowBit) & (2^(highBit-lowBit+1) - 1)) × lutLength / 2^(highBit-lowBit+1).
// The pixel data is not changed.
int L_WindowLevel(BITMAPHANDLE* bitmap, int lowBit, int highBit, const RGBQUAD* lut,
                  std::uint32_t lutLength, unsigned flags);
