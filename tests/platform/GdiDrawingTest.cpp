// Lines, rectangles, raster operations and fonts of the GDI layer, on a context over a buffer.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/gdi/Drawing.h"
#include "platform/gdi/Font.h"

namespace {

constexpr std::uint32_t kBackground = 0x00102030;

struct Canvas {
    Canvas(int w, int h)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, kBackground) {
        AttachBuffer(&dc, pixels.data(), w, h, w);
    }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    int Changed() const {
        int n = 0;
        for (auto p : pixels) n += p != kBackground;
        return n;
    }
    int width, height;
    std::vector<std::uint32_t> pixels;
    DeviceContext dc;
};

void Line(HDC dc, int x1, int y1, int x2, int y2, int width, COLORREF color, int rop2) {
    HPEN pen = CreatePen(PS_SOLID, width, color);
    HGDIOBJ old = SelectObject(dc, pen);
    SetROP2(dc, rop2);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, old);
    DeleteObject(pen);
}

TEST(GdiLines, OnePixelLinesLeaveOutTheirEndPoint) {
    Canvas c(20, 20);
    Line(&c.dc, 2, 5, 12, 5, 1, RGB(255, 0, 0), R2_COPYPEN);
    for (int x = 2; x < 12; ++x) EXPECT_EQ(c.at(x, 5), 0x00FF0000u) << x;
    EXPECT_EQ(c.at(12, 5), kBackground);
    EXPECT_EQ(c.Changed(), 10);

    Canvas d(20, 20);
    Line(&d.dc, 3, 3, 9, 9, 1, RGB(0, 255, 0), R2_COPYPEN);  // a diagonal: one pixel per row
    for (int i = 3; i < 9; ++i) EXPECT_EQ(d.at(i, i), 0x0000FF00u) << i;
    EXPECT_EQ(d.Changed(), 6);
}

TEST(GdiLines, InvertingTwiceRestoresEveryPixel) {
    for (int width : {1, 2, 5}) {
        Canvas c(40, 30);
        for (std::size_t i = 0; i < c.pixels.size(); ++i)
            c.pixels[i] = static_cast<std::uint32_t>(i * 2654435761u) & 0xFFFFFF;
        const auto before = c.pixels;
        Line(&c.dc, -5, 3, 37, 26, width, 0, R2_NOT);
        EXPECT_NE(c.pixels, before) << width;
        Line(&c.dc, -5, 3, 37, 26, width, 0, R2_NOT);
        EXPECT_EQ(c.pixels, before) << width;
    }
}

TEST(GdiLines, EndsFarOutsideDrawOnlyWhatLiesInside) {
    Canvas c(16, 16);
    Line(&c.dc, INT_MIN / 2, 8, INT_MAX / 2, 8, 1, RGB(255, 255, 255), R2_COPYPEN);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(c.at(x, 8), 0x00FFFFFFu);
    EXPECT_EQ(c.Changed(), 16);
    Canvas wide(16, 16);
    Line(&wide.dc, -2000000000, -2000000000, 2000000000, 2000000000, 3, RGB(255, 255, 255),
         R2_COPYPEN);
    EXPECT_GT(wide.Changed(), 16);
    Canvas none(16, 16);
    Line(&none.dc, -100, -100, -50, -10, 4, RGB(255, 255, 255), R2_COPYPEN);
    EXPECT_EQ(none.Changed(), 0);
}

TEST(GdiRectangles, HollowOutlineCoversTheEdgesExactly) {
    Canvas c(20, 20);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    SelectObject(&c.dc, pen);
    SelectObject(&c.dc, GetStockObject(HOLLOW_BRUSH));
    Rectangle(&c.dc, 2, 3, 10, 8);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 2 && x <= 9 && y >= 3 && y <= 7;
            const bool edge = inside && (x == 2 || x == 9 || y == 3 || y == 7);
            EXPECT_EQ(c.at(x, y), edge ? 0x000000FFu : kBackground) << x << "," << y;
        }
    }
    SelectObject(&c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
}

TEST(GdiRectangles, WidePensAndFilledInteriorsStayInTheBuffer) {
    Canvas c(10, 10);
    HPEN pen = CreatePen(PS_SOLID, 7, RGB(255, 0, 0));
    SelectObject(&c.dc, pen);
    Rectangle(&c.dc, -1000000000, -5, 1000000000, 4);  // white stock brush inside
    EXPECT_EQ(c.at(5, 0), 0x00FF0000u);
    EXPECT_EQ(c.at(5, 9), kBackground);
    SelectObject(&c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
}

TEST(GdiObjects, StockObjectsCannotBeDeleted) {
    EXPECT_FALSE(DeleteObject(GetStockObject(HOLLOW_BRUSH)));
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_FALSE(DeleteObject(pen));
}

TEST(Fonts, DesktopFacesResolveToInstalledStandIns) {
    EXPECT_EQ(Font::Create("Arial", -16, false)->Family(), "Liberation Sans");
    EXPECT_EQ(Font::Create("Comic Sans MS", -16, false)->Family(), "Comic Neue");
    EXPECT_FALSE(Font::Create("Arial Unicode MS", -16, false)->Substituted());
    const auto unknown = Font::Create("No Such Face 4711", -16, false);
    EXPECT_TRUE(unknown->Substituted());
    EXPECT_FALSE(unknown->Family().empty());
    EXPECT_GT(unknown->Measure("abc").cx, 0);
}

TEST(Fonts, PointSizesBecomeEmHeightsAtThePixelsPerInch) {
    EXPECT_EQ(FontHeightFromPoints(12, 96), -16);
    EXPECT_EQ(FontHeightFromPoints(26, 96), -35);
    EXPECT_EQ(FontHeightFromPoints(10, 120), -17);
    EXPECT_GT(FontHeightFromPoints(-12, 96), 0);  // a cell height, as LOGFONT takes it
    const auto font = Font::Create("Arial", FontHeightFromPoints(26, 96), false);
    EXPECT_DOUBLE_EQ(font->EmPixels(), 35);
    // A cell height asks for the em that gives that cell.
    const auto cell = Font::Create("Arial", 40, false);
    EXPECT_NEAR(cell->Height(), 40, 1);
}

TEST(Fonts, MeasuresGrowWithTextAndSize) {
    const auto small = Font::Create("Arial", -12, false);
    const auto large = Font::Create("Arial", -48, false);
    EXPECT_EQ(small->Measure("").cx, 0);
    EXPECT_EQ(small->Measure("").cy, small->Height());
    EXPECT_LT(small->Measure("ab").cx, small->Measure("abcd").cx);
    EXPECT_LT(small->Measure("abcd").cx, large->Measure("abcd").cx);
    // Bold is wider; invalid UTF-8 measures as replacement characters, not as an error.
    EXPECT_LT(Font::Create("Arial", -30, false)->Measure("Wide").cx,
              Font::Create("Arial", -30, true)->Measure("Wide").cx);
    EXPECT_GT(small->Measure("\xFF\xFE").cx, 0);
    const std::string longText(10000, 'W');
    EXPECT_GT(small->Measure(longText).cx, 10000 * 5);
}

}  // namespace
