// Realising annotations: each graphic and text object drawn into the bitmap through a drawing
// context, layer by layer in the order the file gives. Positions follow PS3.3 C.10.5.1.2: in
// PIXEL units the top-left corner of the top-left pixel is 0\0, so a pixel's centre lies at
// +0.5, which is also how the context's coordinates run; DISPLAY units span the image 0 … 1.
// Shapes are drawn without antialiasing, so their pixels are exactly those whose centres they
// cover; text is antialiased.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "engine/Annotation.h"
#include "engine/Effects.h"
#include "engine/annotation/AnnotationModel.h"
#include "platform/gdi/Font.h"

namespace {

using namespace engine::annotation;

constexpr double kCoordinateLimit = 1e6;  // far outside any image; Cairo's fixed point ends at 2^23
constexpr COLORREF kDefaultLight = 0xFFFFFF;
constexpr COLORREF kDefaultOutline = 0x000000;

COLORREF ToColorRef(const Rgb& rgb) {
    return rgb.red | (static_cast<COLORREF>(rgb.green) << 8) |
           (static_cast<COLORREF>(rgb.blue) << 16);
}

// Colours of one object: a light colour and, for the default, a dark outline around it.
struct Paint {
    COLORREF color = kDefaultLight;
    bool outlined = true;
};

Paint PaintOf(const std::optional<Rgb>& own, const std::string& layerName,
              const AnnContainer& container) {
    if (own) return {ToColorRef(*own), false};
    for (const Layer& layer : container.layers)
        if (layer.name == layerName && layer.color) return {ToColorRef(*layer.color), false};
    return {};
}

struct Geometry {
    double width = 0, height = 0;  // of the displayed image
    Point Map(const Point& p, Units units) const {
        Point out = units == Units::Display ? Point{p.x * width, p.y * height} : p;
        out.x = std::clamp(out.x, -kCoordinateLimit, kCoordinateLimit);
        out.y = std::clamp(out.y, -kCoordinateLimit, kCoordinateLimit);
        return out;
    }
};

struct Box {
    double left = std::numeric_limits<double>::max(), top = left;
    double right = std::numeric_limits<double>::lowest(), bottom = right;
    void Add(double x, double y) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    RECT Widened(double by) const {
        return RECT{static_cast<LONG>(std::floor(left - by)),
                    static_cast<LONG>(std::floor(top - by)),
                    static_cast<LONG>(std::ceil(right + by)) + 1,
                    static_cast<LONG>(std::ceil(bottom + by)) + 1};
    }
};

// A smooth curve through the points (Catmull-Rom, as cubic Béziers); closed when the last point
// repeats the first.
void AddInterpolated(cairo_t* cr, const std::vector<Point>& p) {
    const std::size_t n = p.size();
    const bool closed = n > 2 && p.front().x == p.back().x && p.front().y == p.back().y;
    const std::size_t count = closed ? n - 1 : n;
    auto at = [&](std::ptrdiff_t i) -> const Point& {
        if (closed)
            return p[static_cast<std::size_t>((i % static_cast<std::ptrdiff_t>(count) + count) %
                                              count)];
        return p[static_cast<std::size_t>(
            std::clamp<std::ptrdiff_t>(i, 0, static_cast<std::ptrdiff_t>(n) - 1))];
    };
    cairo_move_to(cr, p[0].x, p[0].y);
    const std::size_t segments = closed ? count : n - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        const auto k = static_cast<std::ptrdiff_t>(i);
        const Point &p0 = at(k - 1), &p1 = at(k), &p2 = at(k + 1), &p3 = at(k + 2);
        cairo_curve_to(cr, p1.x + (p2.x - p0.x) / 6, p1.y + (p2.y - p0.y) / 6,
                       p2.x - (p3.x - p1.x) / 6, p2.y - (p3.y - p1.y) / 6, p2.x, p2.y);
    }
    if (closed) cairo_close_path(cr);
}

struct GraphicShape {
    std::vector<Point> points;  // mapped
    Box box;
    double thickness = 1;
};

void AddPath(cairo_t* cr, const Graphic& graphic, const GraphicShape& shape) {
    const auto& p = shape.points;
    cairo_new_path(cr);
    switch (graphic.type) {
        case GraphicType::Point:
            cairo_arc(cr, p[0].x, p[0].y, std::max(1.5, shape.thickness), 0, 2 * std::numbers::pi);
            break;
        case GraphicType::Polyline:
            cairo_move_to(cr, p[0].x, p[0].y);
            for (std::size_t i = 1; i < p.size(); ++i) cairo_line_to(cr, p[i].x, p[i].y);
            if (graphic.filled) cairo_close_path(cr);
            break;
        case GraphicType::Interpolated: AddInterpolated(cr, p); break;
        case GraphicType::Circle:
            cairo_new_sub_path(cr);
            cairo_arc(cr, p[0].x, p[0].y, std::hypot(p[1].x - p[0].x, p[1].y - p[0].y), 0,
                      2 * std::numbers::pi);
            break;
        case GraphicType::Ellipse: {
            const double cx = (p[0].x + p[1].x) / 2, cy = (p[0].y + p[1].y) / 2;
            const double a = std::hypot(p[1].x - p[0].x, p[1].y - p[0].y) / 2;
            const double b = std::hypot(p[3].x - p[2].x, p[3].y - p[2].y) / 2;
            if (a <= 0 || b <= 0) {
                cairo_move_to(cr, p[0].x, p[0].y);
                cairo_line_to(cr, p[1].x, p[1].y);
                break;
            }
            cairo_save(cr);
            cairo_translate(cr, cx, cy);
            cairo_rotate(cr, std::atan2(p[1].y - p[0].y, p[1].x - p[0].x));
            cairo_scale(cr, a, b);
            cairo_new_sub_path(cr);
            cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
            cairo_restore(cr);
            break;
        }
    }
}

GraphicShape ShapeOf(const Graphic& graphic, const Geometry& geometry) {
    GraphicShape shape;
    shape.thickness = graphic.style.thickness.value_or(1.0);
    shape.thickness = std::clamp(shape.thickness, 0.5, 1000.0);
    for (const Point& p : graphic.points) {
        shape.points.push_back(geometry.Map(p, graphic.units));
        shape.box.Add(shape.points.back().x, shape.points.back().y);
    }
    const auto& p = shape.points;
    double reach = 0;
    if (graphic.type == GraphicType::Circle) {
        reach = std::hypot(p[1].x - p[0].x, p[1].y - p[0].y);
    } else if (graphic.type == GraphicType::Ellipse) {
        reach = std::max(std::hypot(p[1].x - p[0].x, p[1].y - p[0].y),
                         std::hypot(p[3].x - p[2].x, p[3].y - p[2].y));
    } else if (graphic.type == GraphicType::Interpolated) {
        reach = std::max(shape.box.right - shape.box.left, shape.box.bottom - shape.box.top) / 4;
    }
    shape.box.Add(p[0].x - reach, p[0].y - reach);
    shape.box.Add(p[0].x + reach, p[0].y + reach);
    return shape;
}

void DrawGraphic(HDC dc, const Graphic& graphic, const AnnContainer& container,
                 const Geometry& geometry) {
    if (graphic.points.empty()) return;
    const GraphicShape shape = ShapeOf(graphic, geometry);
    const Paint paint = PaintOf(graphic.style.color, graphic.layer, container);
    const RECT bounds = shape.box.Widened(shape.thickness + 4);
    const bool fill = graphic.filled || graphic.type == GraphicType::Point;
    // A filled shape covers exactly the pixels whose centres lie inside it; an open one is
    // stroked `thickness` wide. The outline pass reaches one pixel further all round.
    auto pass = [&](COLORREF color, bool outline) {
        PaintCoverage(dc, bounds, color, R2_COPYPEN, false, [&](cairo_t* cr) {
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
            cairo_set_line_width(cr, fill ? 2.0 : shape.thickness + (outline ? 2.0 : 0.0));
            if (graphic.style.dashed && !fill) {
                const double dash = std::max(3.0, 3 * shape.thickness);
                cairo_set_dash(cr, &dash, 1, 0);
            }
            AddPath(cr, graphic, shape);
            if (fill) {
                cairo_fill_preserve(cr);
                if (!outline) cairo_new_path(cr);
            }
            cairo_stroke(cr);
        });
    };
    // The default shows on bright and dark images alike: one dark pixel around the light shape.
    if (paint.outlined) pass(kDefaultOutline, true);
    pass(paint.color, false);
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current.push_back(c);
        }
    }
    lines.push_back(current);
    while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    return lines;
}

// The point of the box nearest to p: where a visible anchor's line meets the text.
Point NearestOnBox(const Point& p, double left, double top, double right, double bottom) {
    return Point{std::clamp(p.x, left, right), std::clamp(p.y, top, bottom)};
}

void DrawText(HDC dc, const Text& text, const AnnContainer& container, const Geometry& geometry) {
    const std::vector<std::string> lines = LinesOf(text.value);
    // A size that reads on the image: a fortieth of its shorter side, 10 to 64 pixels.
    double em = std::clamp(std::round(std::min(geometry.width, geometry.height) / 40), 10.0, 64.0);
    Point topLeft, bottomRight;
    const bool boxed = text.boxUnits.has_value();
    if (boxed) {
        topLeft = geometry.Map(text.boxTopLeft, *text.boxUnits);
        bottomRight = geometry.Map(text.boxBottomRight, *text.boxUnits);
        if (bottomRight.x < topLeft.x) std::swap(topLeft.x, bottomRight.x);
        if (bottomRight.y < topLeft.y) std::swap(topLeft.y, bottomRight.y);
        // The lines fit the box's height, down to a size that still reads.
        const auto probe = Font::Create("Arial", -static_cast<int>(em), false);
        const double needed =
            static_cast<double>(probe->Height()) * static_cast<double>(lines.size());
        const double available = bottomRight.y - topLeft.y;
        if (available > 0 && needed > available)
            em = std::max(6.0, std::floor(em * available / needed));
    }
    const auto font = Font::Create("Arial", -static_cast<int>(em), false);
    const double lineHeight = font->Height();
    Point anchor;
    if (text.anchorUnits) anchor = geometry.Map(text.anchor, *text.anchorUnits);
    if (!boxed) {
        // Beside the anchor, below and to the right of it.
        const double gap = std::max(3.0, em / 4);
        topLeft = Point{anchor.x + gap, anchor.y + gap};
    }

    std::vector<TextExtent> extents;
    double widest = 0;
    for (const std::string& line : lines) {
        extents.push_back(font->Measure(line));
        widest = std::max(widest, static_cast<double>(extents.back().cx));
    }
    if (!boxed)
        bottomRight =
            Point{topLeft.x + widest, topLeft.y + lineHeight * static_cast<double>(lines.size())};
    auto lineX = [&](std::size_t i) {
        const double width = extents[i].cx;
        if (!boxed || text.justification == Justification::Left) return topLeft.x;
        if (text.justification == Justification::Right) return bottomRight.x - width;
        return topLeft.x + (bottomRight.x - topLeft.x - width) / 2;
    };

    const Paint paint = PaintOf(text.color, text.layer, container);
    Box box;
    box.Add(topLeft.x, topLeft.y);
    box.Add(std::max(bottomRight.x, topLeft.x + widest),
            topLeft.y + lineHeight * static_cast<double>(lines.size()));
    if (text.anchorUnits && text.anchorVisible) {
        // A short line from the anchor to the text.
        const Point end = NearestOnBox(anchor, topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
        Box lineBox;
        lineBox.Add(anchor.x, anchor.y);
        lineBox.Add(end.x, end.y);
        auto stroke = [&](COLORREF color, double width) {
            PaintCoverage(dc, lineBox.Widened(4), color, R2_COPYPEN, false, [&](cairo_t* cr) {
                cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
                cairo_set_line_width(cr, width);
                cairo_move_to(cr, anchor.x, anchor.y);
                cairo_line_to(cr, end.x, end.y);
                cairo_stroke(cr);
            });
        };
        if (paint.outlined) stroke(kDefaultOutline, 3);
        stroke(paint.color, 1);
    }
    auto pass = [&](COLORREF color, double strokeWidth) {
        PaintCoverage(
            dc, box.Widened(em + strokeWidth + 2), color, R2_COPYPEN, true, [&](cairo_t* cr) {
                for (std::size_t i = 0; i < lines.size(); ++i)
                    font->Draw(cr, lineX(i), topLeft.y + lineHeight * static_cast<double>(i),
                               lines[i], strokeWidth);
            });
    };
    if (paint.outlined) pass(kDefaultOutline, 2);
    pass(paint.color, 0);
}

void DrawName(HDC dc, const std::string& name, const Point& at) {
    if (name.empty()) return;
    const auto font = Font::Create("Arial", -11, false);
    const RECT rect{static_cast<LONG>(at.x), static_cast<LONG>(at.y) - font->Height() - 2,
                    static_cast<LONG>(at.x) + font->Measure(name).cx, static_cast<LONG>(at.y) - 2};
    L_EfxDraw3dText(dc, name.c_str(), &rect, EFX_STYLE_DROPSHADOW, 1, 1, kDefaultLight,
                    kDefaultOutline, kDefaultOutline, font.get(), nullptr);
}

// Layer order of an object: the order the Graphic Layer Sequence gives it; unknown layers last.
int OrderOf(const std::string& layerName, const AnnContainer& container) {
    for (const Layer& layer : container.layers)
        if (layer.name == layerName) return layer.order;
    return std::numeric_limits<int>::max();
}

}  // namespace

int L_AnnRealize(BITMAPHANDLE* bitmap, const RECT* bounds, HANNOBJECT handle, int redactOnly) {
    const AnnContainer* container = Lookup(handle);
    if (!container) return ERROR_INV_PARAMETER;
    if (!bitmap || !bitmap->Addr) return ERROR_NO_BITMAP;
    if (redactOnly) return SUCCESS;
    ScopedLeadDC dc(bitmap);
    if (!dc.get()) return ERROR_NO_BITMAP;
    if (bounds) {
        RECT& clip = dc.get()->clip;
        clip = RECT{std::max(clip.left, bounds->left), std::max(clip.top, bounds->top),
                    std::min(clip.right, bounds->right), std::min(clip.bottom, bounds->bottom)};
    }
    const Geometry geometry{static_cast<double>(ViewWidth(*bitmap)),
                            static_cast<double>(ViewHeight(*bitmap))};
    const bool showNames = container->nameOptions.bShowName != 0;

    // Layers in their order; within a layer, graphics under texts, each in the file's order.
    struct Item {
        int order;
        bool isText;
        std::size_t index;
    };
    std::vector<Item> items;
    for (std::size_t i = 0; i < container->graphics.size(); ++i)
        items.push_back({OrderOf(container->graphics[i].layer, *container), false, i});
    for (std::size_t i = 0; i < container->texts.size(); ++i)
        items.push_back({OrderOf(container->texts[i].layer, *container), true, i});
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.order != b.order ? a.order < b.order : (!a.isText && b.isText);
    });
    for (const Item& item : items) {
        if (item.isText) {
            DrawText(dc.get(), container->texts[item.index], *container, geometry);
            continue;
        }
        const Graphic& graphic = container->graphics[item.index];
        DrawGraphic(dc.get(), graphic, *container, geometry);
        if (showNames && !graphic.points.empty())
            DrawName(dc.get(), graphic.layer, geometry.Map(graphic.points.front(), graphic.units));
    }
    return SUCCESS;
}
