// Three-dimensional text: the styles are built from copies of the glyphs, each layer one colour
// rasterised (antialiased) as one coverage mask over the text's extent, bottom layer first.
#include <cairo.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <string_view>
#include <vector>

#include "engine/Effects.h"

namespace {

struct Offset {
    double dx = 0;
    double dy = 0;
};

// One colour drawn at one or more offsets; strokeWidth > 0 outlines instead of filling.
struct Layer {
    COLORREF color = 0;
    std::vector<Offset> offsets;
    double strokeWidth = 0;
};

constexpr int kMaxDepth = 1000;      // pixels; an extrusion longer than any image is pointless
constexpr int kMaxBlockSteps = 256;  // copies that make up an extrusion

bool IsInset(unsigned style) {
    return style == EFX_STYLE_INSET_LIGHT || style == EFX_STYLE_INSET_HEAVY ||
           style == EFX_STYLE_INSET_EXTRALIGHT || style == EFX_STYLE_INSET_EXTRAHEAVY;
}
bool IsRaised(unsigned style) {
    return style == EFX_STYLE_RAISED_LIGHT || style == EFX_STYLE_RAISED_HEAVY ||
           style == EFX_STYLE_RAISED_EXTRALIGHT || style == EFX_STYLE_RAISED_EXTRAHEAVY;
}

// Default depth of a style for a font cell height, in pixels: a bevel of a pixel or two reads
// as relief; more reads as a second copy of the text.
int DefaultDepth(unsigned style, int cell) {
    switch (style) {
        case EFX_STYLE_INSET_EXTRALIGHT:
        case EFX_STYLE_RAISED_EXTRALIGHT: return std::max(1, cell / 48);
        case EFX_STYLE_INSET_LIGHT:
        case EFX_STYLE_RAISED_LIGHT: return std::max(1, cell / 32);
        case EFX_STYLE_INSET_HEAVY:
        case EFX_STYLE_RAISED_HEAVY: return std::max(2, cell / 20);
        case EFX_STYLE_INSET_EXTRAHEAVY:
        case EFX_STYLE_RAISED_EXTRAHEAVY: return std::max(3, cell / 14);
        case EFX_STYLE_OUTLINEBLOCK: return std::max(1, cell / 16);
        default: return std::max(2, cell / 12);
    }
}

// Copies from the full offset back to one step: the extrusion of a block.
std::vector<Offset> Extrusion(double dx, double dy) {
    const int length = static_cast<int>(std::max(std::fabs(dx), std::fabs(dy)));
    const int steps = std::clamp(length, 1, kMaxBlockSteps);
    std::vector<Offset> offsets;
    for (int k = steps; k >= 1; --k) offsets.push_back({dx * k / steps, dy * k / steps});
    return offsets;
}

std::vector<Layer> LayersOf(unsigned style, int xDepth, int yDepth, int cell, COLORREF text,
                            COLORREF shadow, COLORREF highlight) {
    const bool explicitDepth = xDepth != 0 || yDepth != 0;
    const int d = DefaultDepth(style, cell);
    const double dx = explicitDepth ? std::clamp(xDepth, -kMaxDepth, kMaxDepth) : d;
    const double dy = explicitDepth ? std::clamp(yDepth, -kMaxDepth, kMaxDepth) : d;
    std::vector<Layer> layers;
    if (IsInset(style)) {
        layers.push_back({shadow, {{-std::fabs(dx), -std::fabs(dy)}}, 0});
        layers.push_back({highlight, {{std::fabs(dx), std::fabs(dy)}}, 0});
    } else if (IsRaised(style)) {
        layers.push_back({highlight, {{-std::fabs(dx), -std::fabs(dy)}}, 0});
        layers.push_back({shadow, {{std::fabs(dx), std::fabs(dy)}}, 0});
    } else if (style == EFX_STYLE_DROPSHADOW) {
        layers.push_back({shadow, {{dx, dy}}, 0});
    } else if (style == EFX_STYLE_BLOCKSHADOW) {
        layers.push_back({shadow, Extrusion(dx, dy), 0});
    } else if (style == EFX_STYLE_OUTLINEBLOCK) {
        layers.push_back({shadow, Extrusion(dx, dy), 0});
        // Stroked on the glyph edges: half of it shows outside the letters.
        layers.push_back({highlight, {{0, 0}}, 2.0 * std::max(1, cell / 20)});
    }
    layers.push_back({text, {{0, 0}}, 0});
    return layers;
}

LONG ClampToLong(double v) {
    constexpr double limit = 1 << 30;
    return static_cast<LONG>(std::clamp(std::floor(v), -limit, limit));
}

}  // namespace

int L_EfxDrawRotated3dText(HDC dc, const char* text, const RECT* rect, int angle, unsigned flags,
                           int xDepth, int yDepth, COLORREF textColor, COLORREF shadowColor,
                           COLORREF highlightColor, HFONT font, HDC /*foreground*/) {
    if (!dc) return ERROR_NO_DC;
    if (!text || !rect || !font) return ERROR_INV_PARAMETER;
    const unsigned style = flags & EFX_TEXT_STYLE_MASK;
    if (style > EFX_STYLE_RAISED_EXTRAHEAVY) return ERROR_INV_PARAMETER;
    const std::string_view line(text, std::strlen(text));
    if (line.empty()) return SUCCESS;

    const TextExtent extent = font->Measure(line);
    const std::int64_t left = rect->left, top = rect->top, right = rect->right,
                       bottom = rect->bottom;
    std::int64_t x = left, y = top;
    if (flags & EFX_TEXT_HCENTER) {
        x = left + (right - left - extent.cx) / 2;
    } else if (flags & EFX_TEXT_RIGHT) {
        x = right - extent.cx;
    }
    if (flags & EFX_TEXT_VCENTER) {
        y = top + (bottom - top - extent.cy) / 2;
    } else if (flags & EFX_TEXT_BOTTOM) {
        y = bottom - extent.cy;
    }

    const std::vector<Layer> layers =
        LayersOf(style, xDepth, yDepth, extent.cy, textColor & 0xFFFFFF, shadowColor & 0xFFFFFF,
                 highlightColor & 0xFFFFFF);
    // What the layers may cover: the text's cell, its offsets and an em for overhangs, turned
    // with the text about the rectangle's centre.
    double reach = font->EmPixels();
    for (const Layer& layer : layers) {
        for (const Offset& o : layer.offsets)
            reach = std::max(reach, font->EmPixels() + std::max(std::fabs(o.dx), std::fabs(o.dy)));
        reach = std::max(reach, font->EmPixels() + layer.strokeWidth);
    }
    const double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
    const double radians = -angle * std::numbers::pi / 1800.0;
    const double cosA = std::cos(radians), sinA = std::sin(radians);
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    const double cornersX[2] = {x - reach, x + static_cast<double>(extent.cx) + reach};
    const double cornersY[2] = {y - reach, y + static_cast<double>(extent.cy) + reach};
    for (double px : cornersX) {
        for (double py : cornersY) {
            const double rx = angle ? cx + (px - cx) * cosA - (py - cy) * sinA : px;
            const double ry = angle ? cy + (px - cx) * sinA + (py - cy) * cosA : py;
            minX = std::min(minX, rx);
            maxX = std::max(maxX, rx);
            minY = std::min(minY, ry);
            maxY = std::max(maxY, ry);
        }
    }
    const RECT bounds{ClampToLong(minX), ClampToLong(minY), ClampToLong(maxX) + 1,
                      ClampToLong(maxY) + 1};

    for (const Layer& layer : layers) {
        PaintCoverage(dc, bounds, layer.color, R2_COPYPEN, true, [&](cairo_t* cr) {
            if (angle) {
                cairo_translate(cr, cx, cy);
                cairo_rotate(cr, radians);
                cairo_translate(cr, -cx, -cy);
            }
            for (const Offset& o : layer.offsets)
                font->Draw(cr, static_cast<double>(x) + o.dx, static_cast<double>(y) + o.dy, line,
                           layer.strokeWidth);
        });
    }
    return SUCCESS;
}

int L_EfxDraw3dText(HDC dc, const char* text, const RECT* rect, unsigned flags, int xDepth,
                    int yDepth, COLORREF textColor, COLORREF shadowColor, COLORREF highlightColor,
                    HFONT font, HDC foreground) {
    return L_EfxDrawRotated3dText(dc, text, rect, 0, flags, xDepth, yDepth, textColor, shadowColor,
                                  highlightColor, font, foreground);
}
