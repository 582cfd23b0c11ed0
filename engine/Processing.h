// Image-processing operations of the engine: lookup tables, intensity remapping, histograms,
// grey conversion, rotation and the box-average filter. Every operation returns a status of
// engine/Status.h and never throws.
#pragma once

#include <cstdint>

#include "engine/Bitmap.h"
#include "engine/Status.h"

// L_GetFunctionalLookupTable curves.
constexpr unsigned FLT_EXPONENTIAL = 0;  // exponential rise, steepness from factor
constexpr unsigned FLT_LOGARITHMIC = 1;  // logarithmic rise, steepness from factor
constexpr unsigned FLT_LINEAR = 2;       // straight line; factor not used

// Fills lut[start … end] with a curve from the value already at lut[start] to the one at
// lut[end]; entries outside that span are left as they are. factor: steepness of the
// exponential and logarithmic curves (0 behaves as a straight line).
int L_GetFunctionalLookupTable(std::uint32_t* lut, std::uint32_t lutLength, int start, int end,
                               int factor, unsigned flags);

// L_RemapBitmapIntensity and L_GetBitmapHistogram channels.
constexpr int CHANNEL_MASTER = 0;  // every colour channel (grey images: the sample)
constexpr int CHANNEL_RED = 1;
constexpr int CHANNEL_GREEN = 2;
constexpr int CHANNEL_BLUE = 3;
constexpr int CHANNEL_GRAYLEVELS = 16;  // histogram: grey levels at the bitmap's own depth

// Replaces each sample v by lut[index(v)]. The table has 2^n entries (2 … 65536), not more than
// the depth's level count (256 for 8 bits and colour, 4096 for 12, 65536 for 16-bit grey);
// a shorter table is indexed by the top n bits of the sample, and its entries (0 … length − 1)
// are scaled back to the depth's full range. Palette images have their palette remapped.
// channel: CHANNEL_MASTER, or one colour channel of a colour image.
int L_RemapBitmapIntensity(BITMAPHANDLE* bitmap, const std::uint32_t* lut, std::uint32_t lutLength,
                           int channel);

// Counts pixels per level into histogram[0 … count − 1] (zeroed first; count must cover the
// levels). Grey 12/16-bit images count their samples; other images count the grey level
// (luma, 0 … 255) for CHANNEL_MASTER and CHANNEL_GRAYLEVELS, or one colour channel.
int L_GetBitmapHistogram(const BITMAPHANDLE* bitmap, std::uint32_t* histogram, std::uint32_t count,
                         int channel);

// Converts the image in place to grey at 8, 12 or 16 bits per pixel: colours by their luma,
// grey levels rescaled between depths (8 → 16 is v × 257, rounded in general).
int L_GrayScaleBitmap(BITMAPHANDLE* bitmap, int bitsPerPixel);

// L_RotateBitmap flags.
constexpr unsigned ROTATEFLAG_RESIZE = 0x1;  // the bitmap grows or shrinks to hold the whole result

// Rotates the image in memory by angle hundredths of a degree, clockwise positive. Multiples of
// 9000 move pixels exactly; other angles sample bilinearly (nearest for palette images), and
// uncovered pixels get fillColor (0x00BBGGRR, or a marked 16-bit grey level). Without
// ROTATEFLAG_RESIZE the size is kept and the result is centred, corners cut off.
int L_RotateBitmap(BITMAPHANDLE* bitmap, int angle, unsigned flags, std::uint32_t fillColor);

// Replaces each sample by the mean of its dimension × dimension neighbourhood (rounded, ties
// up), the image edge repeated outward. Even sizes reach one pixel further up and left.
// 1/4-bit images are refused; 8-bit palette images filter their indices only for grey ramps.
int L_AverageFilterBitmap(BITMAPHANDLE* bitmap, int dimension);

// L_ColorSeparateBitmap and L_ColorMergeBitmap modes: the planes, in order.
constexpr unsigned COLORSEP_RGB = 0;   // red, green, blue
constexpr unsigned COLORSEP_CMYK = 1;  // cyan, magenta, yellow, black (four planes)
constexpr unsigned COLORSEP_HLS = 2;   // hue, lightness, saturation
constexpr unsigned COLORSEP_HSV = 3;   // hue, saturation, value
constexpr unsigned COLORSEP_CMY = 4;   // cyan, magenta, yellow

// Splits the image into grey planes: planes[0 … 2], and planes[3] for COLORSEP_CMYK. Each plane
// record must be initialised; it is replaced by a new image without being freed (the caller
// frees every plane, e.g. through ScopedBitmap). Planes keep the source's size, view perspective
// and resolution.
// - Grey sources (L_IsGrayScaleBitmap non-zero) give planes at their own sample depth M (8, 12
//   or 16 bits; grey palettes of 1/4 bits give 8-bit planes), so nothing is lost: with g the
//   level, RGB g, g, g; CMYK 0, 0, 0, M − g; CMY M − g three times; HLS 0, g, 0; HSV 0, 0, g.
// - Colour sources give 8-bit planes: CMY 255 − R …; CMYK K = 255 − max(R, G, B) and
//   C = 255 − R − K (M and Y likewise), so R = 255 − C − K; HLS and HSV with the hue circle in
//   256 steps (0 red, 85 green, 171 blue) and the other channels 0 … 255.
// 8-bit planes are ORDER_GRAY with the grey ramp, 12/16-bit ones ORDER_GRAY.
int L_ColorSeparateBitmap(const BITMAPHANDLE* bitmap, BITMAPHANDLE* const planes[],
                          unsigned structSize, unsigned mode);

// Rebuilds an image from planes of one size, depth (8, 12 or 16 bits, grey) and view
// perspective, and replaces the bitmap's image by it (the old image is released; the bitmap's
// resolution is kept). When every pixel is achromatic — RGB R = G = B; CMY and CMYK C = M = Y;
// HLS S = 0, L = 0 or L = max; HSV S = 0 or V = 0 — the result is grey at the planes' depth:
// RGB R, CMY max − C, CMYK round((max − C)(max − K) / max), HLS L, HSV V — except that 8-bit
// planes merged into a bitmap holding a colour image give colour. Otherwise it is 24-bit
// colour (ORDER_RGB if the bitmap held a 24/32-bit ORDER_RGB image, else ORDER_BGR), from the
// planes scaled to 8 bits, CMYK R = max(0, 255 − C − K). Separating and merging back returns
// every grey image exactly, and colour exactly in RGB, CMY and CMYK (HLS and HSV within a few
// levels of rounding). ERROR_INV_PARAMETER for planes that are missing, repeated, the bitmap
// itself, or differ in size, depth or view perspective.
int L_ColorMergeBitmap(BITMAPHANDLE* bitmap, BITMAPHANDLE* const planes[], unsigned structSize,
                       unsigned mode);
