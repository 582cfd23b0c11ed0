// GDI drawing on a device context: pens, brushes, raster operations, lines and rectangles, and
// the coverage pipeline every drawing call ends in. A call rasterises its shape (Cairo) into a
// coverage mask over the shape's bounds, clipped to the context's drawable area, and hands the
// mask to the context's sink: by default the context's 32-bit buffer; a context opened on an
// engine bitmap installs a sink that writes the bitmap in its own format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/gdi/Gdi.h"

typedef struct _cairo cairo_t;

// Raster operations of SetROP2 (the two the control uses, and the rest of the usual set).
constexpr int R2_BLACK = 1;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_NOP = 11;
constexpr int R2_COPYPEN = 13;
constexpr int R2_WHITE = 16;

// Receives what a drawing call covers. area lies inside the context's drawable area; coverage
// holds one byte per pixel of area (0 untouched … 255 fully covered), rows stride bytes apart.
class CoverageSink {
public:
    virtual ~CoverageSink() = default;
    virtual void ApplyCoverage(const RECT& area, const std::uint8_t* coverage,
                               std::ptrdiff_t stride, COLORREF color, int rop2) = 0;
};

// What a raster operation makes of a destination pixel d (0x00RRGGBB) under a pen colour p
// (0x00RRGGBB), for full coverage.
std::uint32_t ApplyRop2(int rop2, std::uint32_t destination, std::uint32_t pen);

// Hands a coverage mask over area (inside the drawable area) to the context's sink or buffer.
void ApplyCoverage(HDC dc, const RECT& area, const std::uint8_t* coverage, std::ptrdiff_t stride,
                   COLORREF color, int rop2);

// Rasterises what draw paints (in context coordinates, any Cairo source; only the alpha counts)
// over bounds ∩ the drawable area and applies it with colour and raster operation. Without
// antialiasing every pixel is either covered or not, so exact shapes and inverting operations
// (drawn twice, nothing changed) stay exact. Nothing happens when the area is empty.
void PaintCoverage(HDC dc, const RECT& bounds, COLORREF color, int rop2, bool antialias,
                   const std::function<void(cairo_t*)>& draw);

// ---- GDI objects ---------------------------------------------------------------------------
constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;
constexpr int BS_SOLID = 0;
constexpr int BS_HOLLOW = 1;
constexpr int HOLLOW_BRUSH = 5;  // stock objects
constexpr int NULL_BRUSH = HOLLOW_BRUSH;
constexpr int BLACK_PEN = 7;
constexpr int WHITE_BRUSH = 0;

struct GdiObject {
    enum class Kind { Pen, Brush } kind = Kind::Pen;
    int style = 0;
    int width = 1;
    COLORREF color = 0;
    bool stock = false;
};
using HGDIOBJ = GdiObject*;
using HPEN = GdiObject*;
using HBRUSH = GdiObject*;

// Objects live until DeleteObject; stock objects always.
HPEN CreatePen(int style, int width, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);
HGDIOBJ GetStockObject(int which);
BOOL DeleteObject(HGDIOBJ object);  // FALSE for stock or unknown objects
// Selects a pen or brush into the context and returns the one it replaces.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Returns the previous raster operation; 0 on failure.
int SetROP2(HDC dc, int rop2);
int GetROP2(HDC dc);

struct POINT {
    LONG x;
    LONG y;
};
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
// A line from the current position to (x, y), the end point excluded as on the desktop, in the
// selected pen and raster operation; (x, y) becomes the current position.
BOOL LineTo(HDC dc, int x, int y);
// Outline in the selected pen (centred on the edges, right and bottom excluded), interior in the
// selected brush unless it is hollow.
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
