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
int L_CreateBitmap(BITMAPHANDLE* bitmap, unsigned structSize, unsigned memoryType,
                   unsigned width, unsigned height, unsigned bitsPerPixel, unsigned order,
                   const RGBQUAD* palette, unsigned viewPerspective, const std::uint8_t* data,
                   std::uint64_t dataSize);

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
