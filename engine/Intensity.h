// Intensity operations of the engine: stretching, histogram equalisation and contrast, gamma and
// drop shadows. Each works in place on every depth the engine holds, returns a status of
// engine/Status.h and never throws.
//
// Levels. 12 and 16-bit grey images work on their samples, up to the top of their significant
// bits: 2^(HighBit + 1) − 1 (HighBit kept within the format; the whole word when none is
// recorded), so a 12-bit image never gains a value above 4095. Every other image works on 8-bit
// levels 0 … 255: colour channels (RGB555 channels through their 8-bit value), and palette images
// through their palette: an 8-bit image on the ascending grey ramp has its indices changed, any
// other palette image its palette entries. Row padding, the fourth byte of 32-bit pixels and the
// top bit of RGB555 pixels are never touched. "Luma" is the engine's grey level of a colour
// (BT.601, 0 … 255); "rounded" is to the nearest integer, halves up.
#pragma once

#include "engine/Bitmap.h"
#include "engine/Status.h"

// Maps the occupied range onto the full range: the lowest level present (colour: the lowest of
// any channel) becomes 0, the highest the top level, those between linearly, rounded. Colour
// channels share one mapping, so grey stays grey. An image of a single level is left as it is.
int L_StretchBitmapIntensity(BITMAPHANDLE* bitmap);

// L_HistoEqualizeBitmap flags: what the caller asks to equalise for its kind of image. Either is
// accepted on either kind and does the same, the right thing for the image.
constexpr unsigned HISTOEQ_LUMINANCE = 0x2;   // colour images
constexpr unsigned HISTOEQ_GRAYLEVELS = 0x4;  // grey images

// Histogram equalisation. With h the histogram of the levels (grey images: their samples or
// palette levels; colour images: the luma), C its running sum, f the lowest level present and N
// the pixel count, level v becomes round((C(v) − C(f)) × top / (N − C(f))). Grey images take that
// level directly; a colour pixel moves every channel by its luma's change (clamped to 0 … 255),
// which keeps its chroma. An image of a single level is left as it is. Flags other than one of
// the two above: ERROR_INV_PARAMETER.
int L_HistoEqualizeBitmap(BITMAPHANDLE* bitmap, unsigned flags);

// Changes the contrast about the image's mean level p (the mean sample or palette level; colour:
// the mean luma), rounded. Level v becomes p + (v − p) × k, the product rounded half away from p
// and the result kept within 0 … top; colour channels each take that mapping. change runs from
// −1000 to 1000: below 0, k = (1000 + change) / 1000, so −1000 flattens the image to p; above 0,
// k = 1000 / (1000 − change), so 1000 makes a threshold at p (below → 0, above → top). 0 leaves
// the image as it is. Outside the range: ERROR_INV_PARAMETER.
int L_HistoContrastBitmap(BITMAPHANDLE* bitmap, int change);

// Gamma correction: level v becomes round(top × (v / top)^(100 / gamma)). gamma is γ × 100:
// 100 leaves the image as it is, above 100 brightens the middle levels, below darkens them; the
// ends 0 and top stay. gamma 0: ERROR_INV_PARAMETER.
int L_GammaCorrectBitmap(BITMAPHANDLE* bitmap, unsigned gamma);

// L_AddShadowBitmap flags: the shadow's offset, strength and kind.
constexpr unsigned SHADOW_DISTANCE_MASK = 0x000000FFu;  // offset in pixels, 1 … 255; 0 means 4
constexpr unsigned SHADOW_STRENGTH_SHIFT = 8;  // strength in percent, 1 … 100; 0 means 50
constexpr unsigned SHADOW_STRENGTH_MASK = 0x0000FF00u;
constexpr unsigned SHADOW_LIGHT = 0x00010000u;  // the shadow lightens towards the top level
constexpr unsigned SHADOW_DEFAULT_DISTANCE = 4;
constexpr unsigned SHADOW_DEFAULT_STRENGTH = 50;

// Casts a drop shadow of the objects: the pixels whose level (grey images: the sample or palette
// level at the image's own depth; colour images: the luma) is above threshold. The objects are
// moved by (round(d cos θ), round(d sin θ)) displayed pixels, d the distance and θ the angle
// (hundredths of a degree, clockwise from the right of the displayed image: 9000 is straight
// down; taken modulo 36000), and every pixel they then cover that is no object itself is shaded:
// each channel c becomes c − round(c × s / 100) for strength s, or with SHADOW_LIGHT
// c + round((top − c) × s / 100). Palette images take the nearest palette entry of each shaded
// colour. A threshold above every level casts nothing. Unknown flag bits or a strength above 100:
// ERROR_INV_PARAMETER.
int L_AddShadowBitmap(BITMAPHANDLE* bitmap, unsigned angle, unsigned threshold, unsigned flags);
