// GDI layer: device contexts over 32-bit pixel buffers, colours, palettes, brushes, pens and
// MulDiv; what a host calls is public (include/axlumora/Gdi.h). A pixel of a context is
// 0x00RRGGBB in a 32-bit word (memory bytes B, G, R, 0), the layout of a 32-bit
// device-independent bitmap. Every drawing call honours the context's clip
// rectangle and the buffer's bounds.
#pragma once

#include <cstdint>
#include <vector>

#include "axlumora/Gdi.h"

// A context pixel (0x00RRGGBB) from a colour value (0x00BBGGRR) and back.
constexpr std::uint32_t PixelFromColor(COLORREF c) {
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}
constexpr COLORREF ColorFromPixel(std::uint32_t p) {
    return RGB(static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
               static_cast<std::uint8_t>(p));
}

// System colours: an OLE_COLOR with the high bit set names one by its index.
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_BTNFACE = 15;
constexpr OLE_COLOR kSystemColorFlag = 0x80000000u;
COLORREF GetSysColor(int index);
// Resolves a system colour to its current RGB value; other values pass with their low 24 bits.
COLORREF ColorToRGB(OLE_COLOR color);

// Palettes: a 32-bit context shows every colour directly, so none is ever needed; the calls
// exist so code written for palette displays runs unchanged.
struct Palette {
    std::vector<COLORREF> entries;
};
using HPALETTE = Palette*;

class CoverageSink;
struct GdiObject;

// A device context over a 32-bit buffer that someone else owns (a paint box's buffer, a memory
// context's bitmap). stride is in pixels.
struct DeviceContext {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    RECT clip{0, 0, 0, 0};  // drawing is limited to clip ∩ buffer
    HPALETTE palette = nullptr;
    COLORREF brushColor = 0xFFFFFF;
    COLORREF penColor = 0;
    int penWidth = 1;
    // Drawing state of platform/gdi/Drawing.h. sink: where drawing calls put their coverage;
    // null draws into the buffer. Null pen and brush stand for the stock black pen and white brush.
    CoverageSink* sink = nullptr;
    GdiObject* selectedPen = nullptr;
    GdiObject* selectedBrush = nullptr;
    int rop2 = 13;  // R2_COPYPEN
    LONG positionX = 0;
    LONG positionY = 0;

    std::uint32_t* Row(int y) const { return pixels + static_cast<std::ptrdiff_t>(y) * stride; }
    // clip ∩ buffer.
    RECT DrawableRect() const;
};

// Points a context at a buffer; the clip becomes the whole buffer.
void AttachBuffer(DeviceContext* dc, std::uint32_t* pixels, int width, int height,
                  std::ptrdiff_t stride);

int GetDeviceCaps(HDC dc, int index);
constexpr int BITSPIXEL = 12;
constexpr int RASTERCAPS = 38;
constexpr int RC_PALETTE = 0x100;

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);  // entries that changed the system palette: always 0 here
BOOL DeletePalette(HPALETTE palette);
HPALETTE CreatePaletteFromColors(const COLORREF* colors, int count);

// Solid fills and outlines in the context's brush and pen colours; all clipped.
void FillSolidRect(HDC dc, const RECT& rect, COLORREF color);
void SetBrushColor(HDC dc, COLORREF color);
void SetPen(HDC dc, COLORREF color, int width);
void FrameRect(HDC dc, const RECT& rect);  // pen-coloured outline, penWidth thick, inside rect
void SetPixel(HDC dc, int x, int y, COLORREF color);  // GetPixel: include/axlumora/Gdi.h
