// Display operations of the engine: how a bitmap is painted. The paint window and the bitmap's
// own lookup table decide how 12- and 16-bit grey samples become colours on screen.
#pragma once

#include <cstdint>

#include "engine/Bitmap.h"
#include "engine/Status.h"
#include "platform/gdi/Gdi.h"

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

// Drops a paint window that loading took from the file (BITMAP_FLAG_FILE_WINDOW): once the
// samples are rescaled it no longer fits them, and the whole range is shown again. A window or
// table a host set stays. SUCCESS also when there is nothing to drop.
int L_ResetFileWindow(BITMAPHANDLE* bitmap);

// Process-wide painting settings (L_SetDisplayMode).
constexpr unsigned DISP_RESAMPLE = 0x200;  // smooth (bilinear) scaling instead of nearest
// Sets the bits of mask to those of flags; returns the settings before the call.
unsigned L_SetDisplayMode(unsigned mask, unsigned flags);
unsigned L_GetDisplayMode();

// Paints a bitmap into a 32-bit context. Rectangles are edges; src and srcClip are in displayed
// bitmap coordinates (after the view perspective), dst and dstClip in context coordinates. A
// null rectangle takes its default: src and dst the whole displayed bitmap at the origin, each
// clip its rectangle. src maps onto dst (nearest sampling, or bilinear with DISP_RESAMPLE);
// only destination pixels inside dst, dstClip, the context's clip and buffer, whose source
// pixel lies in srcClip and the bitmap, are touched. Empty rectangles paint nothing.
// 12/16-bit grey goes through the paint window and the bitmap's own table; without a window the
// whole sample range is shown. rop: SRCCOPY, SRCAND, SRCPAINT, SRCINVERT, NOTSRCCOPY,
// DSTINVERT, BLACKNESS or WHITENESS.
int L_PaintDC(HDC dc, const BITMAPHANDLE* bitmap, const RECT* src, const RECT* srcClip,
              const RECT* dst, const RECT* dstClip, std::uint32_t rop);

// A palette for painting the bitmap on dc; none (null) on a display of more than 8 bits, which
// shows every colour directly.
HPALETTE L_CreatePaintPalette(HDC dc, const BITMAPHANDLE* bitmap);
