// Neighbourhood filters of the engine: median, sharpen, despeckle, the numbered 3 × 3 spatial
// filters, contour extraction and emboss. Every operation returns a status of engine/Status.h and
// never throws.
//
// What every filter shares:
// - It works in place on every depth the engine holds. Grey images (8, 12, 16 bits) are filtered
//   as grey levels, colour images (RGB555, 24 and 32 bits in either order) channel by channel.
//   Palette images are filtered through their palette: grey palettes by the entries' levels,
//   colour palettes by the entries' red, green and blue; each result becomes the nearest entry,
//   and the palette itself is kept. (An 8-bit image on the ascending grey ramp is therefore
//   filtered exactly as 8-bit grey.)
// - Neighbourhoods beyond the image edge repeat the edge pixels (Despeckle mirrors, see there).
// - Results are clamped to the depth's range: 12-bit data never exceeds 4095 (words above 4095
//   read as 4095). The fourth byte of 32-bit pixels, the spare bit of RGB555 pixels and the row
//   padding are left as they are.
// - An empty or missing bitmap gives ERROR_NO_BITMAP; an argument outside the stated range gives
//   ERROR_INV_PARAMETER with the image untouched.
#pragma once

#include <cstdint>

#include "engine/Bitmap.h"
#include "engine/Status.h"

// Replaces each sample by the median of its dimension × dimension neighbourhood (1 … 255;
// 1 leaves the image as it is). Even sizes reach one pixel further up and left than down and
// right, and take the lower of the two middle values.
constexpr int MEDIAN_MAX_DIMENSION = 255;
int L_MedianFilterBitmap(BITMAPHANDLE* bitmap, int dimension);

// Sharpens (change > 0) or softens (change < 0) by the difference from a 3 × 3 binomial blur
// B (weights 1 2 1 / 2 4 2 / 1 2 1, sum 16):
//   out = v + change × (v − B) / 1000, rounded half up, clamped.
// change −1000 … 1000: −1000 gives the blur itself, 0 leaves the image as it is, 1000 doubles
// the fine detail.
int L_SharpenBitmap(BITMAPHANDLE* bitmap, int change);

// Removes single-pixel speckles (dead and hot pixels, dust): a sample strictly above all eight
// of its neighbours or strictly below all eight is replaced by the median of its 3 × 3
// neighbourhood; every other sample keeps its value, so edges and texture are not softened.
// Unlike the other filters it mirrors the image at the edge (the pixel beside the edge pixel
// stands in beyond it), so that speckles on the border are found too.
int L_DespeckleBitmap(BITMAPHANDLE* bitmap);

// L_SpatialFilterBitmap filters. Kernels are written row by row, top row first; S is the sum of
// the weights times the samples, mid the middle level ((max + 1) / 2: 128 for 8 bits, 2048 for
// 12, 32768 for 16, 16 for RGB555 channels).
// Emboss: out = mid + S; the light comes from the named direction, so edges facing it come out
// bright and flat areas mid-grey.
constexpr int SPATIAL_EMBOSS_N = 0;   //  0 -1  0 /  0 0  0 /  0 1  0
constexpr int SPATIAL_EMBOSS_NE = 1;  //  0  0 -1 /  0 0  0 /  1 0  0
constexpr int SPATIAL_EMBOSS_E = 2;   //  0  0  0 /  1 0 -1 /  0 0  0
constexpr int SPATIAL_EMBOSS_SE = 3;  //  1  0  0 /  0 0  0 /  0 0 -1
constexpr int SPATIAL_EMBOSS_S = 4;   //  0  1  0 /  0 0  0 /  0 -1 0
constexpr int SPATIAL_EMBOSS_SW = 5;  //  0  0  1 /  0 0  0 / -1 0  0
constexpr int SPATIAL_EMBOSS_W = 6;   //  0  0  0 / -1 0  1 /  0 0  0
constexpr int SPATIAL_EMBOSS_NW = 7;  // -1  0  0 /  0 0  0 /  0 0  1
// Compass gradients: out = S clamped at 0, bright where the image gets brighter toward the named
// direction. North is 1 1 1 / 1 -2 1 / -1 -1 -1; each next one turns the ring of eight weights
// one step clockwise.
constexpr int SPATIAL_GRADIENT_N = 8;
constexpr int SPATIAL_GRADIENT_NE = 9;
constexpr int SPATIAL_GRADIENT_E = 10;
constexpr int SPATIAL_GRADIENT_SE = 11;
constexpr int SPATIAL_GRADIENT_S = 12;
constexpr int SPATIAL_GRADIENT_SW = 13;
constexpr int SPATIAL_GRADIENT_W = 14;
constexpr int SPATIAL_GRADIENT_NW = 15;
// Laplacians: out = S clamped at 0.
constexpr int SPATIAL_LAPLACE_4 = 16;          //  0 -1  0 / -1 4 -1 /  0 -1  0
constexpr int SPATIAL_LAPLACE_8 = 17;          // -1 -1 -1 / -1 8 -1 / -1 -1 -1
constexpr int SPATIAL_LAPLACE_DIAGONAL = 18;   // -1  0 -1 /  0 4  0 / -1  0 -1
constexpr int SPATIAL_LAPLACE_SEPARABLE = 19;  //  1 -2  1 / -2 4 -2 /  1 -2  1
// Sobel and Prewitt: one axis gives |S|; the magnitude |S horizontal| + |S vertical|; clamped.
constexpr int SPATIAL_SOBEL_HORIZONTAL = 20;  // -1 -2 -1 /  0 0 0 /  1 2 1 (horizontal edges)
constexpr int SPATIAL_SOBEL_VERTICAL = 21;    // -1  0  1 / -2 0 2 / -1 0 1 (vertical edges)
constexpr int SPATIAL_SOBEL_MAGNITUDE = 22;
constexpr int SPATIAL_PREWITT_HORIZONTAL = 23;  // -1 -1 -1 /  0 0 0 /  1 1 1
constexpr int SPATIAL_PREWITT_VERTICAL = 24;    // -1  0  1 / -1 0 1 / -1 0 1
constexpr int SPATIAL_PREWITT_MAGNITUDE = 25;
// Line detection: out = S clamped at 0, bright on lines one pixel wide.
constexpr int SPATIAL_LINE_HORIZONTAL = 26;     // -1 -1 -1 /  2  2  2 / -1 -1 -1
constexpr int SPATIAL_LINE_VERTICAL = 27;       // -1  2 -1 / -1  2 -1 / -1  2 -1
constexpr int SPATIAL_LINE_DIAGONAL_DOWN = 28;  //  2 -1 -1 / -1  2 -1 / -1 -1  2 (top left down)
constexpr int SPATIAL_LINE_DIAGONAL_UP = 29;    // -1 -1  2 / -1  2 -1 /  2 -1 -1
// Shift and difference: out = |S|, the change from the neighbour to the left, above, above left.
constexpr int SPATIAL_SHIFTDIFF_HORIZONTAL = 30;  // 0 0 0 / -1 1 0 / 0 0 0
constexpr int SPATIAL_SHIFTDIFF_VERTICAL = 31;    // 0 -1 0 / 0 1 0 / 0 0 0
constexpr int SPATIAL_SHIFTDIFF_DIAGONAL = 32;    // -1 0 0 / 0 1 0 / 0 0 0
// High-pass (sharpening): out = S clamped.
constexpr int SPATIAL_HIGHPASS_4 = 33;          //  0 -1  0 / -1 5 -1 /  0 -1  0
constexpr int SPATIAL_HIGHPASS_8 = 34;          // -1 -1 -1 / -1 9 -1 / -1 -1 -1
constexpr int SPATIAL_HIGHPASS_SEPARABLE = 35;  //  1 -2  1 / -2 5 -2 /  1 -2  1
// Low-pass: out = S / sum of weights, rounded half up.
constexpr int SPATIAL_LOWPASS_MEAN = 36;      // 1 1 1 / 1 1 1 / 1 1 1, / 9
constexpr int SPATIAL_LOWPASS_BINOMIAL = 37;  // 1 2 1 / 2 4 2 / 1 2 1, / 16
constexpr int SPATIAL_FILTER_COUNT = 38;

// Applies filter number `filter` (0 … SPATIAL_FILTER_COUNT − 1) to every channel.
int L_SpatialFilterBitmap(BITMAPHANDLE* bitmap, int filter);

// L_ContourFilterBitmap options (the values of the type library's CONTOUR enumeration): what
// the contour pixels become. Every other pixel becomes black.
constexpr int CONTOURFILTER_THIN = 0;             // thinned edges, no linking: white
constexpr int CONTOURFILTER_LINK_BLACKWHITE = 1;  // linked contours: white
constexpr int CONTOURFILTER_LINK_GRAY = 2;        // linked contours: grey level = edge strength
constexpr int CONTOURFILTER_LINK_COLOR = 3;       // linked contours: hue = edge direction
constexpr int CONTOURFILTER_APPROX_COLOR = 4;     // linked contours: their own original colour

// Replaces the image by its contours. The edge strength of a pixel is the step height across it:
// floor(√(gx² + gy²) / 4) with gx, gy the 3 × 3 Sobel responses of its grey level (colour:
// luma 0.299 R + 0.587 G + 0.114 B), in levels of the image's own scale (255 for 8-bit, colour
// and palette images, 4095 / 65535 for 12/16-bit grey, 31 for RGB555). Edges are thinned to one
// pixel across by keeping only the local maxima of the strength along the gradient; where two
// pixels tie (a sharp step) the one on the brighter side stays, so an object's contour is its
// own outermost pixels.
// - threshold (0 … 32767): thinned pixels at least this strong are contour pixels.
// - maximumError (0 … 32767): when linking, thinned pixels down to threshold − maximumError join
//   a contour they touch (8-connected), so a contour runs on through weaker stretches.
// - deltaDirection (0 … 32767 degrees; 180 and above links any directions): a pixel joins only
//   when its gradient direction is within this many degrees of the contour pixel it touches.
// - option: a CONTOURFILTER_* value. THIN uses threshold only.
// LINK_COLOR gives grey images the direction as a grey level (0 … 359 degrees over the range).
int L_ContourFilterBitmap(BITMAPHANDLE* bitmap, std::int16_t threshold, std::int16_t deltaDirection,
                          std::int16_t maximumError, int option);

// Shows the image as a relief lit from `direction`, in hundredths of a degree clockwise from the
// top (0 top, 9000 right, 18000 bottom, 27000 left; 0 … 35999). With gx, gy the 3 × 3 Sobel
// responses (right minus left, bottom minus top) and θ the direction:
//   out = mid + depth × (gy cos θ − gx sin θ) / 800, rounded half up, clamped,
// cos θ and sin θ taken to 1/4096. Flat areas become mid-grey; edges facing the light come out
// bright. depth 0 … 1000 scales the relief: at 100 a sharp step of h levels shows as mid ± h / 2
// across the two pixels beside it; 0 gives a flat mid-grey image.
constexpr unsigned EMBOSS_MAX_DIRECTION = 35999;
constexpr unsigned EMBOSS_MAX_DEPTH = 1000;
int L_EmbossBitmap(BITMAPHANDLE* bitmap, unsigned direction, unsigned depth);
