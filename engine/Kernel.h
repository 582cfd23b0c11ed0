// Kernel operations of the engine on the bitmap handle. Every operation returns a status of
// engine/Status.h; none throws, none crashes on a null or empty handle or on absurd sizes.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/Bitmap.h"
#include "engine/Status.h"

// Resets the record to an empty bitmap with the given description (no pixel memory). Frees
// nothing: call L_FreeBitmap first on a bitmap that holds an image.
int L_InitBitmap(BITMAPHANDLE* bitmap, unsigned structSize, int width, int height,
                 int bitsPerPixel);

// Replaces the record by a new image of width × height at the given depth and order, rows padded
// to a multiple of 4 bytes. palette: for 1/4/8 bits, 2^bits entries to copy, or null for a grey
// ramp. data: pixel memory to copy from (dataSize bytes, at most Size), or null to leave the new
// pixels zeroed. The record must be initialised; an image it already holds is not freed.
int L_CreateBitmap(BITMAPHANDLE* bitmap, unsigned structSize, unsigned memoryType, unsigned width,
                   unsigned height, unsigned bitsPerPixel, unsigned order, const RGBQUAD* palette,
                   unsigned viewPerspective, const std::uint8_t* data, std::uint64_t dataSize);

// Releases the pixel memory and tables and leaves an empty, initialised record.
int L_FreeBitmap(BITMAPHANDLE* bitmap);

// Makes destination an independent copy of source (pixels, palette, LUT, every field).
// destination is overwritten without being freed; it may not alias source.
int L_CopyBitmap(BITMAPHANDLE* destination, const BITMAPHANDLE* source, unsigned structSize);

// Fills every pixel with a colour 0x00BBGGRR (grey images: the colour's grey level, or with
// COLOR_GRAY16_MARKER the 16-bit level in the low bits).
int L_FillBitmap(BITMAPHANDLE* bitmap, std::uint32_t color);

// Mirrors top to bottom (row order reversed in memory).
int L_FlipBitmap(BITMAPHANDLE* bitmap);
// Mirrors left to right (column order reversed in memory).
int L_ReverseBitmap(BITMAPHANDLE* bitmap);
// Rotates the displayed image by a multiple of 90 degrees (clockwise positive) by changing the
// view perspective only; the pixel memory is not touched.
int L_RotateBitmapViewPerspective(BITMAPHANDLE* bitmap, int angle);
// Rearranges the pixels so that the image displays the same in the new view perspective.
// destination null: in place. Otherwise destination becomes a new bitmap (not freed first).
int L_ChangeBitmapViewPerspective(BITMAPHANDLE* destination, BITMAPHANDLE* source,
                                  unsigned structSize, int viewPerspective);

// Keeps a rectangle of the pixel memory (rows and columns as stored); ERROR_INV_RANGE when it
// does not lie inside the image.
int L_TrimBitmap(BITMAPHANDLE* bitmap, int left, int top, int width, int height);

// L_SizeBitmap flags (the type library's SIZE values).
constexpr unsigned SIZE_FLAG_FAVORBLACK = 0x1;
constexpr unsigned SIZE_FLAG_RESAMPLE = 0x2;
constexpr unsigned SIZE_FLAG_BICUBIC = 0x4;
// Resizes the pixel memory to width × height (as stored): nearest by default, linear or cubic
// blending of samples with the flags.
int L_SizeBitmap(BITMAPHANDLE* bitmap, int width, int height, unsigned flags);

// GRAY_NO, GRAY_ORDEREDNORMAL, GRAY_ORDEREDINVERSE or GRAY_NOTORDERED (not a status).
int L_IsGrayScaleBitmap(const BITMAPHANDLE* bitmap);

// Single pixels by memory row and column. Colours are 0x00BBGGRR; for grey images of more than
// 8 bits a colour carrying COLOR_GRAY16_MARKER gives the sample in its low 16 bits (clamped to
// 4095 for 12 bits), and reads return the sample with the marker; on other images a marked value
// is a 16-bit grey level. L_GetPixelColor returns 0 for a pixel it cannot read (no image, out of
// range); the other calls return ERROR_INV_RANGE for coordinates outside the image.
std::uint32_t L_GetPixelColor(const BITMAPHANDLE* bitmap, int row, int col);
int L_PutPixelColor(BITMAPHANDLE* bitmap, int row, int col, std::uint32_t color);
// Raw sample bytes of one pixel, as stored (2 for 12/16 bits, 1 for 8, 3 for 24, 4 for 32; 1
// for 1/4 bits holding the index); bufferSize must be at least that many. A 12-bit write above
// 4095 is clamped to 4095; a palette index keeps its low 1/4/8 bits.
int L_GetPixelData(const BITMAPHANDLE* bitmap, void* buffer, int row, int col, int bufferSize);
int L_PutPixelData(BITMAPHANDLE* bitmap, const void* buffer, int row, int col, int bufferSize);

// Lowest and highest bit index set in any sample of a grey image; both 0 for an all-zero image.
int L_GetMinMaxBits(const BITMAPHANDLE* bitmap, int* lowBit, int* highBit);
// Smallest and largest sample of a grey image (for colour images: of every channel).
int L_GetMinMaxVal(const BITMAPHANDLE* bitmap, int* minValue, int* maxValue);

// Inverts every sample: 24/32-bit 255 − v per colour byte (the 4th byte of 32-bit is kept);
// 12-bit 4095 − v; 16-bit grey 65535 − v; 16-bit colour 31 − v per 5-bit channel. Palette images
// (1/4/8 bits) whose palette is an ordered grey ramp get their indices complemented (the ramp
// stays, memory holds the negative); other palettes have their colours inverted.
int L_InvertBitmap(BITMAPHANDLE* bitmap);

// Frees an engine bitmap when it goes out of scope; for temporaries outside the engine.
class ScopedBitmap {
public:
    ScopedBitmap();
    ~ScopedBitmap();
    ScopedBitmap(const ScopedBitmap&) = delete;
    ScopedBitmap& operator=(const ScopedBitmap&) = delete;
    BITMAPHANDLE* get() { return &handle_; }
    const BITMAPHANDLE* get() const { return &handle_; }
    BITMAPHANDLE* operator->() { return &handle_; }
    BITMAPHANDLE& operator*() { return handle_; }

private:
    BITMAPHANDLE handle_;
};

// ---- Regions ----------------------------------------------------------------------------------
struct RECT;  // platform/gdi/Gdi.h

// L_SetBitmapRgnRect modes: how the rectangle combines with the bitmap's region. A bitmap
// without a region combines as an empty one.
constexpr unsigned L_RGN_AND = 0;           // region ∩ rectangle
constexpr unsigned L_RGN_SET = 1;           // the rectangle
constexpr unsigned L_RGN_ANDNOTBITMAP = 2;  // rectangle without the region
constexpr unsigned L_RGN_ANDNOTRGN = 3;     // region without the rectangle
constexpr unsigned L_RGN_OR = 4;            // region ∪ rectangle
constexpr unsigned L_RGN_XOR = 5;           // pixels in exactly one of them
constexpr unsigned L_RGN_SETNOT = 6;        // the image without the rectangle

// Sets the bitmap's region from a rectangle in displayed coordinates (after the view
// perspective; right and bottom exclusive), cut to the image; an empty or inverted rectangle is
// empty. The region belongs to the pixels: it is kept in memory coordinates, copied by
// L_CopyBitmap and dropped by L_FreeBitmap and by every operation that replaces the image.
// While a region is set, L_FillBitmap fills only its pixels (none when it is empty).
// transform must be null (ERROR_FEATURE_NOT_SUPPORTED otherwise).
int L_SetBitmapRgnRect(BITMAPHANDLE* bitmap, const void* transform, const RECT* rect,
                       unsigned mode);
// Drops the region; SUCCESS also when there was none.
int L_FreeBitmapRgn(BITMAPHANDLE* bitmap);
// 1 when a region is set (even an empty one), else 0 (not a status).
int L_BitmapHasRgn(const BITMAPHANDLE* bitmap);

// ---- Combining --------------------------------------------------------------------------------
// L_CombineBitmap flag word: one value of each group, or-ed. Samples s (source) and d
// (destination) are first modified, then combined into r, then r is modified; all per channel
// in the destination's sample range 0 … M (M = 2^n − 1).
// Bits 0–3, the source modifier:
constexpr unsigned COMBINE_SRC_ASIS = 0x0000;
constexpr unsigned COMBINE_SRC_INVERT = 0x0001;  // M − s
constexpr unsigned COMBINE_SRC_ZERO = 0x0002;
constexpr unsigned COMBINE_SRC_MAX = 0x0003;
// Bits 4–7, the destination modifier:
constexpr unsigned COMBINE_DST_ASIS = 0x0000;
constexpr unsigned COMBINE_DST_INVERT = 0x0010;
constexpr unsigned COMBINE_DST_ZERO = 0x0020;
constexpr unsigned COMBINE_DST_MAX = 0x0030;
// Bits 8–11, the operation:
constexpr unsigned COMBINE_OP_AND = 0x0000;       // s & d
constexpr unsigned COMBINE_OP_OR = 0x0100;        // s | d
constexpr unsigned COMBINE_OP_XOR = 0x0200;       // s ^ d
constexpr unsigned COMBINE_OP_ADD = 0x0300;       // min(s + d, M)
constexpr unsigned COMBINE_OP_SUB_SRC = 0x0400;   // max(s − d, 0)
constexpr unsigned COMBINE_OP_SUB_DST = 0x0500;   // max(d − s, 0)
constexpr unsigned COMBINE_OP_MULTIPLY = 0x0600;  // s · d / M, rounded
constexpr unsigned COMBINE_OP_DIVIDE = 0x0700;    // min(d · M / s, M) rounded; d/0 is M, 0/0 is 0
constexpr unsigned COMBINE_OP_AVERAGE = 0x0800;   // (s + d) / 2, halves up
constexpr unsigned COMBINE_OP_MIN = 0x0900;
constexpr unsigned COMBINE_OP_MAX = 0x0A00;
constexpr unsigned COMBINE_OP_DIFFERENCE = 0x0B00;  // |s − d|
// Bits 12–15, the result modifier:
constexpr unsigned COMBINE_RESULT_ASIS = 0x0000;
constexpr unsigned COMBINE_RESULT_INVERT = 0x1000;  // M − r
// destination = 0 + source: the plain copy.
constexpr unsigned COMBINE_COPY = COMBINE_DST_ZERO | COMBINE_OP_ADD;

// Combines the width × height rectangle of source at (xSrc, ySrc) into destination at
// (xDst, yDst); each position is in displayed coordinates of its own bitmap (after its view
// perspective). The rectangle is cut to what both bitmaps hold; one wholly outside changes
// nothing and succeeds. Source pixels are brought to the destination's format first: grey levels
// rescaled exactly between depths (8 → 16 is v × 257, 16 → 8 (v + 128) / 257), colour to grey by
// luma, grey to colour replicated, colour orders swapped; palette destinations get the nearest
// entry (grey palettes by level). Colour works per channel (RGB555 in 5-bit channels); the
// unused bits of RGB555 and 32-bit destination pixels keep their value. source may be
// destination, rectangles overlapping: the source is read as it was before the call.
// ERROR_INV_PARAMETER for a negative size or an unknown flag value.
int L_CombineBitmap(BITMAPHANDLE* destination, int xDst, int yDst, int width, int height,
                    const BITMAPHANDLE* source, int xSrc, int ySrc, unsigned flags);

// ---- Colour resolution ------------------------------------------------------------------------
// L_ColorResBitmap flags, with the values of the type library's CRP enumeration, or-ed with a
// dither kind (the CRD values below) shifted up by COLORRES_DITHER_SHIFT.
constexpr unsigned COLORRES_BYTEORDER_RGB = 0x00;      // 24/32-bit in order R, G, B
constexpr unsigned COLORRES_FIXED_PALETTE = 0x01;      // see below
constexpr unsigned COLORRES_OPTIMIZED_PALETTE = 0x02;  // built from the image's colours
constexpr unsigned COLORRES_BYTEORDER_BGR = 0x04;
constexpr unsigned COLORRES_IDENTITY_PALETTE = 0x08;  // taken as the fixed palette
constexpr unsigned COLORRES_USER_PALETTE = 0x10;      // palette / colors arguments
constexpr unsigned COLORRES_NETSCAPE_PALETTE = 0x40;  // 8 bits: the 6 × 6 × 6 cube of 0, 51 … 255
constexpr unsigned COLORRES_BYTEORDER_GRAY = 0x80;    // grey result at 1/4/8/12/16 bits
constexpr unsigned COLORRES_DITHER_SHIFT = 16;
// Dither kinds (the type library's CRD values). Error diffusion spreads each pixel's error over
// its neighbours to the right and below with the named kernel's weights; ordered dithering adds
// a threshold from a repeating 8 × 8 matrix (Bayer's; clustered: a clustered-dot screen), scaled
// by the step between the target's levels, before taking the nearest level. Palettes whose
// colours form no grid of levels are ordered by mixing 16 entries per pixel instead.
constexpr unsigned COLORRES_DITHER_NONE = 0;
constexpr unsigned COLORRES_DITHER_FLOYD_STEINBERG = 1;
constexpr unsigned COLORRES_DITHER_STUCKI = 2;
constexpr unsigned COLORRES_DITHER_BURKES = 3;
constexpr unsigned COLORRES_DITHER_SIERRA = 4;
constexpr unsigned COLORRES_DITHER_STEVENSON_ARCE = 5;
constexpr unsigned COLORRES_DITHER_JARVIS = 6;
constexpr unsigned COLORRES_DITHER_ORDERED = 7;
constexpr unsigned COLORRES_DITHER_CLUSTERED = 8;

// Converts source to bitsPerPixel (1, 4, 8, 12, 16, 24 or 32), keeping size, view perspective
// and resolution. destination == source (or null) converts in place; any other destination is
// replaced without being freed first (as by L_CopyBitmap). Depths and formats:
// - 24/32 bits: colour, ORDER_BGR with COLORRES_BYTEORDER_BGR, else ORDER_RGB; grey samples are
//   scaled to 8 bits (16-bit (v + 128) / 257, 12-bit v · 255 / 4095 rounded) and replicated; the
//   paint window and lookup table are not applied.
// - 12 bits: grey. 16 bits: grey with COLORRES_BYTEORDER_GRAY or from a grey source, else RGB555.
// - 1/4/8 bits: the grey ramp with COLORRES_BYTEORDER_GRAY, or from a grey source without a
//   palette flag; otherwise a palette, the first flag of: user (palette with colors entries,
//   0 meaning 2^bits), optimized (colors entries, 0 meaning 2^bits: the image's own colours
//   when they fit, else a median cut of them), Netscape (8 bits), fixed. The fixed palettes:
//   black and white; the 16 VGA colours; 8 × 8 × 4 levels of red, green and blue (index
//   r·32 + g·4 + b). Pixels take the nearest entry (grey palettes: the entry nearest to the
//   luma).
// Colour becomes grey by luma; grey levels are rescaled exactly between depths.
// Dithering applies where the target holds fewer levels than the source: palette depths, RGB555
// and 12-bit grey from 16-bit grey (colour palettes and RGB555 are dithered on 8-bit channels,
// grey targets on the source's grey levels). Without a dither kind, or for any other target,
// every pixel takes the nearest colour.
// reserved, callback and userData are not used. ERROR_NO_BITMAP without an image,
// ERROR_BITPERPIXEL for another depth, ERROR_INV_PARAMETER for a user palette missing or of a
// wrong size, or an unknown dither kind.
int L_ColorResBitmap(BITMAPHANDLE* source, BITMAPHANDLE* destination, unsigned structSize,
                     int bitsPerPixel, unsigned flags, const RGBQUAD* palette, void* reserved,
                     unsigned colors, void* callback, void* userData);
