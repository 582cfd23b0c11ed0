#include "platform/gdi/Drawing.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

RECT Intersect(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}
bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

std::uint8_t Blend(std::uint32_t destination, std::uint32_t source, std::uint32_t alpha) {
    return static_cast<std::uint8_t>((source * alpha + destination * (255 - alpha) + 127) / 255);
}

// The context's own buffer as the sink: pixels 0x00RRGGBB.
void ApplyToBuffer(HDC dc, const RECT& area, const std::uint8_t* coverage, std::ptrdiff_t stride,
                   COLORREF color, int rop2) {
    const std::uint32_t pen = PixelFromColor(color);
    for (LONG y = area.top; y < area.bottom; ++y) {
        const std::uint8_t* cover = coverage + (y - area.top) * stride;
        std::uint32_t* row = dc->Row(y);
        for (LONG x = area.left; x < area.right; ++x) {
            const std::uint32_t alpha = cover[x - area.left];
            if (alpha == 0) continue;
            std::uint32_t& pixel = row[x];
            if (rop2 != R2_COPYPEN) {
                if (alpha >= 128) pixel = ApplyRop2(rop2, pixel, pen);
                continue;
            }
            if (alpha == 255) {
                pixel = pen;
                continue;
            }
            pixel = (std::uint32_t{Blend((pixel >> 16) & 0xFF, (pen >> 16) & 0xFF, alpha)} << 16) |
                    (std::uint32_t{Blend((pixel >> 8) & 0xFF, (pen >> 8) & 0xFF, alpha)} << 8) |
                    Blend(pixel & 0xFF, pen & 0xFF, alpha);
        }
    }
}

void Apply(HDC dc, const RECT& area, const std::uint8_t* coverage, std::ptrdiff_t stride,
           COLORREF color, int rop2) {
    ApplyCoverage(dc, area, coverage, stride, color, rop2);
}

// ---- objects ---------------------------------------------------------------------------------
std::mutex g_objectMutex;
std::unordered_map<GdiObject*, std::unique_ptr<GdiObject>> g_objects;

GdiObject g_hollowBrush{GdiObject::Kind::Brush, BS_HOLLOW, 0, 0, true};
GdiObject g_whiteBrush{GdiObject::Kind::Brush, BS_SOLID, 0, 0xFFFFFF, true};
GdiObject g_blackPen{GdiObject::Kind::Pen, PS_SOLID, 1, 0, true};

HGDIOBJ Register(std::unique_ptr<GdiObject> object) {
    HGDIOBJ key = object.get();
    std::lock_guard lock(g_objectMutex);
    g_objects.emplace(key, std::move(object));
    return key;
}

const GdiObject& PenOf(HDC dc) { return dc->selectedPen ? *dc->selectedPen : g_blackPen; }
const GdiObject& BrushOf(HDC dc) { return dc->selectedBrush ? *dc->selectedBrush : g_whiteBrush; }

// A pen of width 0 draws one pixel wide, as on the desktop.
int EffectiveWidth(const GdiObject& pen) { return std::max(pen.width, 1); }

// ---- one-pixel lines ---------------------------------------------------------------------------
// The pixels of a one-pixel line from (x1, y1) towards (x2, y2), the end excluded, that fall in
// area, as a coverage mask. Pixel i along the major axis is found directly (not by stepping), so
// a line from far outside costs only what lies inside.
void ThinLine(HDC dc, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2,
              const RECT& drawable, COLORREF color, int rop2) {
    const std::int64_t dx = x2 - x1, dy = y2 - y1;
    const std::int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    const std::int64_t steps = std::max(adx, ady);
    if (steps == 0) return;
    const bool xMajor = adx >= ady;
    const std::int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    const int sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const std::int64_t majorStart = xMajor ? x1 : y1, minorStart = xMajor ? y1 : x1;
    const LONG lowMajor = xMajor ? drawable.left : drawable.top;
    const LONG highMajor = xMajor ? drawable.right : drawable.bottom;
    // Steps i in [0, steps) whose major coordinate lies in [lowMajor, highMajor).
    std::int64_t first, last;
    if (sMajor > 0) {
        first = std::max<std::int64_t>(0, lowMajor - majorStart);
        last = std::min<std::int64_t>(steps - 1, highMajor - 1 - majorStart);
    } else {
        first = std::max<std::int64_t>(0, majorStart - (highMajor - 1));
        last = std::min<std::int64_t>(steps - 1, majorStart - lowMajor);
    }
    if (first > last) return;

    // Pixel of step i: the minor axis rounded, floor((2·i·minor + major) / (2·major)).
    auto pixelAt = [&](std::int64_t i) {
        const std::int64_t offset = (2 * i * minor + major) / (2 * major);
        const std::int64_t a = majorStart + sMajor * i;
        const std::int64_t b = minorStart + sMinor * offset;
        return std::pair<std::int64_t, std::int64_t>{xMajor ? a : b, xMajor ? b : a};
    };
    // The line is monotone, so its first and last pixels bound it.
    const auto [fx, fy] = pixelAt(first);
    const auto [lx, ly] = pixelAt(last);
    const RECT area{
        static_cast<LONG>(std::max<std::int64_t>(std::min(fx, lx), drawable.left)),
        static_cast<LONG>(std::max<std::int64_t>(std::min(fy, ly), drawable.top)),
        static_cast<LONG>(std::min<std::int64_t>(std::max(fx, lx) + 1, drawable.right)),
        static_cast<LONG>(std::min<std::int64_t>(std::max(fy, ly) + 1, drawable.bottom))};
    if (IsEmpty(area)) return;
    const std::ptrdiff_t stride = area.right - area.left;
    std::vector<std::uint8_t> coverage(static_cast<std::size_t>(stride) * (area.bottom - area.top));
    bool any = false;
    for (std::int64_t i = first; i <= last; ++i) {
        const auto [x, y] = pixelAt(i);
        if (x < area.left || x >= area.right || y < area.top || y >= area.bottom) continue;
        coverage[(y - area.top) * stride + (x - area.left)] = 255;
        any = true;
    }
    if (any) Apply(dc, area, coverage.data(), stride, color, rop2);
}

// Cuts the segment to the rectangle (Liang–Barsky); false when nothing is left.
bool ClipSegment(double& x1, double& y1, double& x2, double& y2, double left, double top,
                 double right, double bottom) {
    double t0 = 0, t1 = 1;
    const double dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - left, right - x1, y1 - top, bottom - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) return false;
    }
    const double nx1 = x1 + t0 * dx, ny1 = y1 + t0 * dy;
    x2 = x1 + t1 * dx;
    y2 = y1 + t1 * dy;
    x1 = nx1;
    y1 = ny1;
    return true;
}

}  // namespace

void ApplyCoverage(HDC dc, const RECT& area, const std::uint8_t* coverage, std::ptrdiff_t stride,
                   COLORREF color, int rop2) {
    if (!dc || !coverage || rop2 == R2_NOP) return;
    // Whatever lies outside the drawable area is dropped here, so no sink writes outside.
    const RECT clipped = Intersect(area, dc->DrawableRect());
    if (IsEmpty(clipped)) return;
    coverage += (clipped.top - area.top) * stride + (clipped.left - area.left);
    if (dc->sink) {
        dc->sink->ApplyCoverage(clipped, coverage, stride, color, rop2);
    } else if (dc->pixels) {
        ApplyToBuffer(dc, clipped, coverage, stride, color, rop2);
    }
}

std::uint32_t ApplyRop2(int rop2, std::uint32_t destination, std::uint32_t pen) {
    switch (rop2) {
        case R2_BLACK: return 0;
        case R2_NOT: return ~destination & 0xFFFFFFu;
        case R2_XORPEN: return (destination ^ pen) & 0xFFFFFFu;
        case R2_NOP: return destination;
        case R2_WHITE: return 0xFFFFFFu;
        default: return pen;
    }
}

void PaintCoverage(HDC dc, const RECT& bounds, COLORREF color, int rop2, bool antialias,
                   const std::function<void(cairo_t*)>& draw) {
    if (!dc) return;
    const RECT area = Intersect(bounds, dc->DrawableRect());
    if (IsEmpty(area)) return;
    const int width = area.right - area.left, height = area.bottom - area.top;
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, width);
    if (stride <= 0) return;
    std::vector<std::uint8_t> coverage(static_cast<std::size_t>(stride) * height);
    std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter> surface(
        cairo_image_surface_create_for_data(coverage.data(), CAIRO_FORMAT_A8, width, height,
                                            stride));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return;
    {
        std::unique_ptr<cairo_t, CairoDeleter> cr(cairo_create(surface.get()));
        cairo_translate(cr.get(), -area.left, -area.top);
        cairo_set_antialias(cr.get(), antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
        cairo_set_source_rgba(cr.get(), 0, 0, 0, 1);
        draw(cr.get());
    }
    cairo_surface_flush(surface.get());
    Apply(dc, area, coverage.data(), stride, color, rop2);
}

HPEN CreatePen(int style, int width, COLORREF color) {
    auto pen = std::make_unique<GdiObject>();
    pen->kind = GdiObject::Kind::Pen;
    pen->style = style;
    pen->width = width;
    pen->color = color & 0xFFFFFFu;
    return Register(std::move(pen));
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto brush = std::make_unique<GdiObject>();
    brush->kind = GdiObject::Kind::Brush;
    brush->style = BS_SOLID;
    brush->color = color & 0xFFFFFFu;
    return Register(std::move(brush));
}

HGDIOBJ GetStockObject(int which) {
    switch (which) {
        case HOLLOW_BRUSH: return &g_hollowBrush;
        case WHITE_BRUSH: return &g_whiteBrush;
        case BLACK_PEN: return &g_blackPen;
        default: return nullptr;
    }
}

// Only handles this layer handed out (and stock objects) are ever dereferenced: a deleted or
// foreign handle is refused, as the desktop refuses it.
static bool IsLiveObject(HGDIOBJ object) {
    if (object == &g_hollowBrush || object == &g_whiteBrush || object == &g_blackPen) return true;
    std::lock_guard lock(g_objectMutex);
    return g_objects.count(object) != 0;
}

BOOL DeleteObject(HGDIOBJ object) {
    if (!object) return FALSE;
    std::lock_guard lock(g_objectMutex);
    return g_objects.erase(object) ? TRUE : FALSE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (!dc || !object || !IsLiveObject(object)) return nullptr;
    if (object->kind == GdiObject::Kind::Pen) {
        HGDIOBJ previous = dc->selectedPen ? dc->selectedPen : &g_blackPen;
        dc->selectedPen = object;
        return previous;
    }
    HGDIOBJ previous = dc->selectedBrush ? dc->selectedBrush : &g_whiteBrush;
    dc->selectedBrush = object;
    return previous;
}

int SetROP2(HDC dc, int rop2) {
    if (!dc || rop2 < R2_BLACK || rop2 > R2_WHITE) return 0;
    const int previous = dc->rop2;
    dc->rop2 = rop2;
    return previous;
}

int GetROP2(HDC dc) { return dc ? dc->rop2 : 0; }

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
    if (!dc) return FALSE;
    if (previous) *previous = POINT{dc->positionX, dc->positionY};
    dc->positionX = x;
    dc->positionY = y;
    return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
    if (!dc) return FALSE;
    const std::int64_t x1 = dc->positionX, y1 = dc->positionY;
    dc->positionX = x;
    dc->positionY = y;
    const GdiObject& pen = PenOf(dc);
    if (pen.style == PS_NULL) return TRUE;
    const RECT drawable = dc->DrawableRect();
    if (IsEmpty(drawable)) return TRUE;
    const int width = EffectiveWidth(pen);
    if (width == 1) {
        ThinLine(dc, x1, y1, x, y, drawable, pen.color, dc->rop2);
        return TRUE;
    }
    // A wide pen: round ends and a body `width` across, centred on the pixel centres. Far-away
    // ends are cut to the drawable area first; Cairo's fixed-point coordinates end at 2^23.
    double ax = x1 + 0.5, ay = y1 + 0.5, bx = x + 0.5, by = y + 0.5;
    const double margin = width + 2.0;
    if (!ClipSegment(ax, ay, bx, by, drawable.left - margin, drawable.top - margin,
                     drawable.right + margin, drawable.bottom + margin))
        return TRUE;
    const RECT bounds{static_cast<LONG>(std::floor(std::min(ax, bx) - margin)),
                      static_cast<LONG>(std::floor(std::min(ay, by) - margin)),
                      static_cast<LONG>(std::ceil(std::max(ax, bx) + margin)),
                      static_cast<LONG>(std::ceil(std::max(ay, by) + margin))};
    PaintCoverage(dc, bounds, pen.color, dc->rop2, false, [&](cairo_t* cr) {
        cairo_set_line_width(cr, width);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, ax, ay);
        cairo_line_to(cr, bx, by);
        cairo_stroke(cr);
    });
    return TRUE;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
    if (!dc) return FALSE;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    const RECT drawable = dc->DrawableRect();
    if (IsEmpty(drawable) || right - left < 1 || bottom - top < 1) return TRUE;
    const GdiObject& pen = PenOf(dc);
    const GdiObject& brush = BrushOf(dc);
    const int width = EffectiveWidth(pen);
    // Far-away edges are moved to just outside the drawable area: what shows is the same.
    const double margin = width + 2.0;
    auto clamp = [](double v, double low, double high) { return std::clamp(v, low, high); };
    const double l = clamp(left, drawable.left - margin, drawable.right + margin);
    const double t = clamp(top, drawable.top - margin, drawable.bottom + margin);
    const double r = clamp(right, drawable.left - margin, drawable.right + margin);
    const double b = clamp(bottom, drawable.top - margin, drawable.bottom + margin);
    const RECT bounds{
        static_cast<LONG>(std::floor(l - margin)), static_cast<LONG>(std::floor(t - margin)),
        static_cast<LONG>(std::ceil(r + margin)), static_cast<LONG>(std::ceil(b + margin))};
    if (brush.style != BS_HOLLOW) {
        PaintCoverage(dc, bounds, brush.color, dc->rop2, false, [&](cairo_t* cr) {
            cairo_rectangle(cr, l, t, r - l, b - t);
            cairo_fill(cr);
        });
    }
    if (pen.style == PS_NULL) return TRUE;
    if (width == 1) {
        // The outline's pixels exactly: columns left … right − 1, rows top … bottom − 1.
        PaintCoverage(dc, bounds, pen.color, dc->rop2, false, [&](cairo_t* cr) {
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
            cairo_rectangle(cr, l, t, r - l, b - t);
            if (r - l > 2 && b - t > 2) cairo_rectangle(cr, l + 1, t + 1, r - l - 2, b - t - 2);
            cairo_fill(cr);
        });
        return TRUE;
    }
    PaintCoverage(dc, bounds, pen.color, dc->rop2, false, [&](cairo_t* cr) {
        cairo_set_line_width(cr, width);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        cairo_rectangle(cr, l + 0.5, t + 0.5, r - l - 1, b - t - 1);
        cairo_stroke(cr);
    });
    return TRUE;
}
