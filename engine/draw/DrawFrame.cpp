// Frames: bands drawn from the rectangle's edge inwards, each exact to the pixel.
#include <cairo.h>
#include <algorithm>

#include "engine/Effects.h"

namespace {

struct Box {
    double left, top, right, bottom;
    bool Empty() const { return right <= left || bottom <= top; }
    Box Shrunk(double by) const { return {left + by, top + by, right - by, bottom - by}; }
};

// The band between outer and outer shrunk by width (all of outer when nothing is left inside).
void AddBand(cairo_t* cr, const Box& outer, double width) {
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_rectangle(cr, outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top);
    const Box inner = outer.Shrunk(width);
    if (!inner.Empty())
        cairo_rectangle(cr, inner.left, inner.top, inner.right - inner.left,
                        inner.bottom - inner.top);
}

// The top and left part of the band, mitred at the top-right and bottom-left corners.
void AddLitSides(cairo_t* cr, const Box& outer, double width) {
    const Box inner = outer.Shrunk(width);
    const double innerRight = std::max(inner.right, outer.left),
                 innerBottom = std::max(inner.bottom, outer.top);
    const double innerLeft = std::min(inner.left, outer.right),
                 innerTop = std::min(inner.top, outer.bottom);
    cairo_move_to(cr, outer.left, outer.top);
    cairo_line_to(cr, outer.right, outer.top);
    cairo_line_to(cr, innerRight, innerTop);
    cairo_line_to(cr, innerLeft, innerTop);
    cairo_line_to(cr, innerLeft, innerBottom);
    cairo_line_to(cr, outer.left, outer.bottom);
    cairo_close_path(cr);
}

void DrawBand(HDC dc, const RECT& bounds, const Box& outer, double width, COLORREF color) {
    PaintCoverage(dc, bounds, color, R2_COPYPEN, false, [&](cairo_t* cr) {
        AddBand(cr, outer, width);
        cairo_fill(cr);
    });
}

void DrawBevel(HDC dc, const RECT& bounds, const Box& outer, double width, bool raised,
               COLORREF color1, COLORREF color2) {
    DrawBand(dc, bounds, outer, width, raised ? color2 : color1);
    PaintCoverage(dc, bounds, raised ? color1 : color2, R2_COPYPEN, false, [&](cairo_t* cr) {
        AddLitSides(cr, outer, width);
        cairo_fill(cr);
    });
}

}  // namespace

int L_EfxDrawFrame(HDC dc, const RECT* rect, unsigned flags, int frameWidth, COLORREF frameColor,
                   int innerWidth, COLORREF innerColor1, COLORREF innerColor2, int outerWidth,
                   COLORREF outerColor1, COLORREF outerColor2) {
    if (!dc) return ERROR_NO_DC;
    if (!rect || frameWidth < 0 || innerWidth < 0 || outerWidth < 0) return ERROR_INV_PARAMETER;
    // Edges far outside the context are moved to just outside it: what shows is the same, and
    // Cairo's coordinates stay in range.
    const RECT drawable = dc->DrawableRect();
    const double margin = 2.0 + static_cast<double>(frameWidth) + innerWidth + outerWidth;
    auto clampX = [&](LONG v) {
        return std::clamp<double>(v, drawable.left - margin, drawable.right + margin);
    };
    auto clampY = [&](LONG v) {
        return std::clamp<double>(v, drawable.top - margin, drawable.bottom + margin);
    };
    Box box{clampX(std::min(rect->left, rect->right)), clampY(std::min(rect->top, rect->bottom)),
            clampX(std::max(rect->left, rect->right)), clampY(std::max(rect->top, rect->bottom))};
    if (box.Empty()) return SUCCESS;
    const RECT bounds{static_cast<LONG>(box.left), static_cast<LONG>(box.top),
                      static_cast<LONG>(box.right), static_cast<LONG>(box.bottom)};
    if (outerWidth > 0) {
        DrawBevel(dc, bounds, box, outerWidth, flags & EFX_FRAME_OUTER_RAISED,
                  outerColor1 & 0xFFFFFF, outerColor2 & 0xFFFFFF);
        box = box.Shrunk(outerWidth);
    }
    if (frameWidth > 0 && !box.Empty()) {
        DrawBand(dc, bounds, box, frameWidth, frameColor & 0xFFFFFF);
        box = box.Shrunk(frameWidth);
    }
    if (innerWidth > 0 && !box.Empty())
        DrawBevel(dc, bounds, box, innerWidth, flags & EFX_FRAME_INNER_RAISED,
                  innerColor1 & 0xFFFFFF, innerColor2 & 0xFFFFFF);
    return SUCCESS;
}
