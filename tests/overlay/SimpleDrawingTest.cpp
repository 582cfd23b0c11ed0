// Frames, rectangles, texts and lines drawn by the host: into the image or over the picture on
// screen, the grey promotion, colours, flag words and the failures the members report.
#include <gtest/gtest.h>

#include "engine/Kernel.h"
#include "platform/gdi/Font.h"
#include "tests/control/ControlFixture.h"
#include "tests/overlay/OverlayFixture.h"

namespace {

using namespace overlaytest;

std::uint32_t ScreenPixel(TaxLumora& c, int x, int y) {
    return c.MainPaintBox->Buffer()[static_cast<std::size_t>(y) * c.MainPaintBox->Width() + x];
}

TEST(DrawSimpleFrame, PersistentOnDeepGreyLeavesAColourImageWithTheFrame) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SetImage(c, 40, 30, 16, ORDER_GRAY, [](int, int) { return 0x8080u; });
    LONG value = 99;
    ASSERT_EQ(control->DrawSimpleFrame(5, 4, 20, 10, 2, 0x0000FF, 0, VARIANT_TRUE, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, 24);
    EXPECT_EQ(c.CurrentBitmap.Order, ORDER_BGR);
    EXPECT_EQ(Sample(c.CurrentBitmap, 5, 4), 0xFF0000u);    // red, bytes B G R
    EXPECT_EQ(Sample(c.CurrentBitmap, 24, 13), 0xFF0000u);  // last pixel inside the rectangle
    EXPECT_EQ(Sample(c.CurrentBitmap, 25, 14), 0x808080u);  // outside: the grey, promoted
    EXPECT_EQ(Sample(c.CurrentBitmap, 10, 8), 0x808080u);   // inside the 2-pixel band
}

TEST(DrawSimpleFrame, OnScreenLeavesTheBitmapAndGoesWithTheNextRepaint) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SetImage(c, 40, 30, 8, ORDER_GRAY, [](int, int) { return 0u; });
    ASSERT_EQ(control->Repaint(), S_OK);
    const auto before = Samples(c.CurrentBitmap);
    const std::uint32_t under = ScreenPixel(c, 3, 3);
    LONG value = 99;
    ASSERT_EQ(control->DrawSimpleFrame(3, 3, 10, 10, 1, 0x00FF00, 0, VARIANT_FALSE, &value), S_OK);
    EXPECT_EQ(ScreenPixel(c, 3, 3), 0x0000FF00u);
    EXPECT_EQ(Samples(c.CurrentBitmap), before);
    ASSERT_EQ(control->ForceRepaint(), S_OK);
    EXPECT_EQ(ScreenPixel(c, 3, 3), under);
    // Pen mode 3 inverts what is shown.
    ASSERT_EQ(control->DrawSimpleFrame(3, 3, 10, 10, 1, 0, 3, VARIANT_FALSE, &value), S_OK);
    EXPECT_EQ(ScreenPixel(c, 3, 3), ~under & 0xFFFFFFu);
}

TEST(DrawSimpleFrame, RangeErrorsAndMissingContexts) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    LONG value = 99;
    CapturedLog log;
    ASSERT_EQ(control->DrawSimpleFrame(0, 0, 5, 5, 1, 0, 0, VARIANT_TRUE, &value), S_OK);
    EXPECT_EQ(value, -2);
    EXPECT_EQ(log.lines().back(), "axLumora.DrawSimpleFrame, LeadDC=0!\r\n");
    SetImage(c, 10, 10, 16, ORDER_GRAY, [](int, int) { return 7u; });
    EXPECT_EQ(control->DrawSimpleFrame(0, 0, 5, 5, -1, 0, 0, VARIANT_TRUE, &value), E_UNEXPECTED);
    EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, 16);  // refused before anything changed
    EXPECT_EQ(control->DrawSimpleFrame(0, 0, 5, 5, 1, 0x80000000u, 0, VARIANT_FALSE, &value),
              E_UNEXPECTED);
    EXPECT_EQ(control->DrawSimpleFrame(0x7FFFFFFF, 0, 5, 5, 1, 0, 0, VARIANT_TRUE, &value),
              E_UNEXPECTED);
}

TEST(DrawSimpleRectangle, FillsWithTheColourAskedForInEitherByteOrder) {
    for (int order : {ORDER_RGB, ORDER_BGR}) {
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        SetImage(c, 10, 10, 24, order, [](int, int) { return 0u; });
        CapturedLog log;
        LONG value = 99;
        ASSERT_EQ(control->DrawSimpleRectangle(2, 2, 3, 4, 0x0000FF, &value), S_OK);
        EXPECT_EQ(value, 0);
        EXPECT_EQ(log.lines().front(), "axLumora.DrawSimpleRectangle, Order:" +
                                           std::to_string(order) + ", Bits:24, Color:$0000FF\r\n");
        // Red: the first byte in RGB order, the third in BGR order.
        EXPECT_EQ(Sample(c.CurrentBitmap, 2, 2), order == ORDER_RGB ? 0x0000FFu : 0xFF0000u);
        EXPECT_EQ(Sample(c.CurrentBitmap, 4, 5), order == ORDER_RGB ? 0x0000FFu : 0xFF0000u);
        EXPECT_EQ(Sample(c.CurrentBitmap, 5, 5), 0u);
        EXPECT_EQ(Sample(c.CurrentBitmap, 4, 6), 0u);
    }
}

TEST(DrawSimpleRectangle, DeepGreyIsFilledInPlaceAndTopBitColoursAreRefused) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SetImage(c, 10, 10, 16, ORDER_GRAY, [](int, int) { return 1234u; });
    LONG value = 99;
    ASSERT_EQ(control->DrawSimpleRectangle(0, 0, 2, 2, 0xFFFFFF, &value), S_OK);
    EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, 16);  // the rectangle never promotes
    EXPECT_EQ(Sample(c.CurrentBitmap, 1, 1), 65535u);
    EXPECT_EQ(Sample(c.CurrentBitmap, 2, 2), 1234u);
    EXPECT_EQ(control->DrawSimpleRectangle(0, 0, 2, 2, 0x80000000u, &value), E_UNEXPECTED);
    auto empty = NewControl();
    ASSERT_EQ(empty->DrawSimpleRectangle(0, 0, 2, 2, 0, &value), S_OK);
    EXPECT_EQ(value, ERROR_NO_DC);
}

TEST(DrawSimpleText, SizesItsBoxToTheTextAndAligns) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SetImage(c, 300, 100, 24, ORDER_BGR, [](int, int) { return 0u; });
    LONG value = 99;
    CapturedLog log;
    ASSERT_EQ(control->DrawSimpleText(BStr::FromUtf8("Tooth 36").get(), 20, 30, 0, 0, 0, 0, 0,
                                      BStr::FromUtf8("").get(), 0, 16, 0xFFFFFF, &value),
              S_OK);
    EXPECT_EQ(value, 0);
    for (const auto& line : log.lines()) EXPECT_EQ(line.find("Font not found"), std::string::npos);
    const auto font = Font::Create("Comic Sans MS", FontHeightFromPoints(16, 96), false);
    const TextExtent extent = font->Measure("Tooth 36");
    const Box ink = ChangedBox(c.CurrentBitmap, 0);
    EXPECT_NEAR(ink.left, 20, 3);
    EXPECT_NEAR(ink.right, 20 + extent.cx, 3);
    EXPECT_GE(ink.top, 30);
    EXPECT_LE(ink.bottom, 30 + extent.cy);
}

TEST(DrawSimpleText, AlignmentAndStyleMakeTheFlagWord) {
    // Align 8 (right, bottom) in a wide box: the text ends at the box's right edge; style 5 adds a
    // shadow in black below-right of the white text; align 9 falls back to left-top.
    for (LONG align : {8, 9}) {
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        SetImage(c, 300, 100, 24, ORDER_BGR, [](int, int) { return 0x404040u; });
        LONG value = 99;
        ASSERT_EQ(control->DrawSimpleText(BStr::FromUtf8("Ab").get(), 10, 10, 280, 80, align, 5, 0,
                                          BStr::FromUtf8("Arial").get(), 1, 20, 0xFFFFFF, &value),
                  S_OK);
        const Box ink = ChangedBox(c.CurrentBitmap, 0x404040u);
        if (align == 8) {
            EXPECT_GT(ink.left, 200);
            EXPECT_GT(ink.top, 40);
        } else {
            EXPECT_LT(ink.left, 20);
            EXPECT_LT(ink.top, 30);
        }
        bool shadow = false;
        for (auto v : Samples(c.CurrentBitmap)) shadow |= v == 0;
        EXPECT_TRUE(shadow);
    }
}

TEST(DrawSimpleText, PromotesDeepGreyAndSurvivesHostileInput) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SetImage(c, 50, 40, 12, ORDER_GRAY, [](int, int) { return 4095u; });
    LONG value = 99;
    const std::string longText(10000, 'x');
    for (LONG size : {0, -8, 5000}) {
        ASSERT_EQ(
            control->DrawSimpleText(BStr::FromUtf8(longText).get(), -100, -100, 0, 0, 4, 7, 900,
                                    BStr::FromUtf8("No Such Face").get(), 0, size, 0, &value),
            S_OK);
        EXPECT_EQ(value, 0);
    }
    EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, 24);
    CapturedLog log;
    ASSERT_EQ(control->DrawSimpleText(BStr::FromUtf8("x").get(), 0, 0, 0, 0, 0, 0, 0,
                                      BStr::FromUtf8("No Such Face").get(), 0, 10, 0, &value),
              S_OK);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(
        log.lines()[0].rfind("axLumora.DrawSimpleText, Font not found: No Such Face, using ", 0),
        0u);
}

TEST(DrawSimpleLine, InvertingTwiceRestoresThePixels) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SetImage(c, 60, 40, 24, ORDER_BGR,
             [](int x, int y) { return (x * 4001u + y * 97u) & 0xFFFFFFu; });
    const auto before = Samples(c.CurrentBitmap);
    LONG value = 99;
    ASSERT_EQ(control->DrawSimpleLine(-10, 5, 70, 33, 3, 0x00FF00, 3, VARIANT_TRUE, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_NE(Samples(c.CurrentBitmap), before);
    ASSERT_EQ(control->DrawSimpleLine(-10, 5, 70, 33, 3, 0x00FF00, 3, VARIANT_TRUE, &value), S_OK);
    EXPECT_EQ(Samples(c.CurrentBitmap), before);
}

TEST(DrawSimpleLine, PenColourLandsOnAPromotedImageAndOnScreen) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SetImage(c, 20, 20, 16, ORDER_GRAY, [](int, int) { return 0u; });
    LONG value = 99;
    ASSERT_EQ(control->DrawSimpleLine(2, 10, 12, 10, 1, 0xFF0000, 0, VARIANT_TRUE, &value), S_OK);
    EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, 24);
    EXPECT_EQ(Sample(c.CurrentBitmap, 2, 10), 0x0000FFu);  // blue, bytes B G R
    EXPECT_EQ(Sample(c.CurrentBitmap, 11, 10), 0x0000FFu);
    EXPECT_EQ(Sample(c.CurrentBitmap, 12, 10), 0u);  // the end point is left out
    ASSERT_EQ(control->DrawSimpleLine(0, 0, 5, 0, 1, 0x0000FF, 0, VARIANT_FALSE, &value), S_OK);
    EXPECT_EQ(ScreenPixel(c, 4, 0), 0x00FF0000u);
    auto empty = NewControl();
    CapturedLog log;
    ASSERT_EQ(empty->DrawSimpleLine(0, 0, 5, 5, 1, 0, 0, VARIANT_TRUE, &value), S_OK);
    EXPECT_EQ(value, -2);
    EXPECT_EQ(log.lines().back(), "axLumora.DrawSimpleLine, LeadDC=0!\r\n");
}

}  // namespace

namespace {

// Shapes wholly or partly outside, huge and negative sizes, on every depth and on an empty
// control: each call ends with a defined Value or a failing HRESULT, never a write outside.
TEST(SimpleDrawing, ShapesOutsideTheImageOnEveryDepthEndCleanly) {
    struct Shape {
        LONG left, top, width, height;
    } shapes[] = {{-5, -5, 10, 10},   {50, 30, 20, 20},
                  {1000, 1000, 5, 5}, {-2000000000, -2000000000, 2000000000, 2000000000},
                  {10, 10, -20, -20}, {0, 0, 0, 0}};
    for (int bits : {0, 1, 8, 12, 16, 24, 32}) {
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        if (bits)
            SetImage(c, 60, 40, bits, bits >= 24 ? ORDER_BGR : ORDER_GRAY,
                     [](int x, int y) { return x + y; });
        LONG value = 0;
        for (const Shape& s : shapes) {
            for (VARIANT_BOOL persistent : {VARIANT_TRUE, VARIANT_FALSE}) {
                const HRESULT frame = control->DrawSimpleFrame(s.left, s.top, s.width, s.height, 3,
                                                               0x00FF00, 0, persistent, &value);
                EXPECT_TRUE(frame == S_OK || frame == E_UNEXPECTED) << bits;
                EXPECT_EQ(control->DrawSimpleLine(s.left, s.top, s.left + s.width, s.top + s.height,
                                                  4, 0xFF, 3, persistent, &value),
                          S_OK);
            }
            const HRESULT rect =
                control->DrawSimpleRectangle(s.left, s.top, s.width, s.height, 0x123456, &value);
            EXPECT_TRUE(rect == S_OK || rect == E_UNEXPECTED) << bits;
            LONG ignored = 0;
            control->InvertPixel(s.left, s.top, &ignored);
        }
        if (bits) {
            EXPECT_NE(c.CurrentBitmap.Addr, nullptr);
        }
    }
}

}  // namespace
