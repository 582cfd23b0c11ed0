// Display geometry through the interface and through window messages.
#include <gtest/gtest.h>

#include "display/Geometry.h"
#include "engine/Display.h"
#include "engine/Kernel.h"
#include "tests/control/ControlFixture.h"

namespace {

void LoadImage(TaxLumora& control, unsigned width, unsigned height, int bits, int order,
               unsigned viewPerspective = TOP_LEFT) {
    L_FreeBitmap(&control.CurrentBitmap);
    L_InitBitmap(&control.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
    ASSERT_EQ(L_CreateBitmap(&control.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width,
                             height, bits, order, nullptr, viewPerspective, nullptr, 0),
              SUCCESS);
    control.UpdatePaintRects(true, true, true);
}

void ExpectRect(const EdgeRect& r, int left, int top, int right, int bottom) {
    EXPECT_EQ(r.Left, left);
    EXPECT_EQ(r.Top, top);
    EXPECT_EQ(r.Right, right);
    EXPECT_EQ(r.Bottom, bottom);
}

TEST(MulDivTest, RoundsHalvesAwayFromZeroAndFlagsBadDivisors) {
    EXPECT_EQ(MulDiv(5, 1, 2), 3);
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(7, 1, 3), 2);
    EXPECT_EQ(MulDiv(5, -1, -2), 3);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MulDiv(0x7FFFFFFF, 4, 1), -1);
    EXPECT_EQ(MulDiv(0x40000000, 4, 2), -1);
    EXPECT_EQ(MulDiv(1000000, 1000000, 1000000), 1000000);  // 64-bit intermediate
}

TEST(FitRectTest, FitsBySideAndCentres) {
    FitResult wide = FitRect(600, 300, 1000, 1000);
    EXPECT_EQ(wide.width, 300);
    EXPECT_EQ(wide.height, 300);
    EXPECT_EQ(wide.x, 150);
    EXPECT_EQ(wide.y, 0);
    FitResult tall = FitRect(300, 600, 1000, 500);
    EXPECT_EQ(tall.width, 300);
    EXPECT_EQ(tall.height, 150);
    EXPECT_EQ(tall.y, 225);
    FitResult tie = FitRect(100, 100, 50, 50);  // hFit == boxH takes the width branch
    EXPECT_EQ(tie.width, 100);
    EXPECT_EQ(FitRect(100, 100, 0, 0).height, -1);
}

TEST(PaintRectsTest, NormalModeFollowsTheDisplayedSize) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    LoadImage(c, 1000, 800, 16, ORDER_GRAY, RIGHT_TOP);
    ExpectRect(c.SrcRect, 0, 0, 800, 1000);
    ExpectRect(c.DstRect, 0, 0, 800, 1000);
    EXPECT_EQ(c.Form.HorzScrollBar().range, 800);
    EXPECT_EQ(c.Form.VertScrollBar().range, 1000);
    // The paint box covers the scroll range; the clip is the box.
    ExpectRect(c.DstClipRect, 0, 0, 800, 1000);
}

TEST(PaintRectsTest, FitModeShrinksTheClientToTheImageAspect) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    ASSERT_EQ(control->put_PAINTSIZEMODE(PAINTSIZEMODE_FIT), S_OK);
    SendMessage(&c.Form, WM_SIZE, 0, MAKELPARAM(600, 300));
    LoadImage(c, 1000, 1000, 24, ORDER_BGR);
    EXPECT_EQ(c.Form.ClientWidth(), 300);
    EXPECT_EQ(c.Form.ClientHeight(), 300);
    ExpectRect(c.DstRect, 0, 0, 300, 300);
    EXPECT_EQ(c.Form.HorzScrollBar().range, 0);
}

TEST(PaintRectsTest, StretchKeepsTheHostsDestination) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    control->put_PAINTSIZEMODE(PAINTSIZEMODE_STRETCH);
    LONG value = 7;
    control->SetDstRect(5, 6, 70, 80, &value);
    EXPECT_EQ(value, 7);  // not written
    LoadImage(c, 100, 50, 8, ORDER_GRAY);
    ExpectRect(c.DstRect, 5, 6, 75, 86);
    ExpectRect(c.SrcRect, 0, 0, 100, 50);
}

TEST(PaintRectsTest, AutoSetRectsOffLeavesEveryRectangle) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    control->put_AutoSetRects(0);
    LoadImage(c, 100, 50, 8, ORDER_GRAY);
    ExpectRect(c.SrcRect, 0, 0, 0, 0);
    EXPECT_EQ(c.Form.HorzScrollBar().range, 100);  // the scroll ranges still follow
}

TEST(RectSettersTest, KeepAndFromParent) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    LONG value = 0;
    c.DstRect = EdgeRect{0, 0, 50, 50};
    ASSERT_EQ(control->SetDstRect(10, kKeep, 100, kKeep, &value), S_OK);
    ExpectRect(c.DstRect, 10, 0, 110, 50);
    ASSERT_EQ(control->SetDstRect(20, kKeep, kKeep, kKeep, &value), S_OK);
    ExpectRect(c.DstRect, 20, 0, 110, 50);  // a kept width leaves Right

    c.SrcRect = EdgeRect{1, 2, 30, 40};
    ASSERT_EQ(control->SetSrcClipRect(kFromParent, kFromParent, kFromParent, kFromParent, &value),
              S_OK);
    ExpectRect(c.SrcClipRect, 1, 2, 30, 40);
    ASSERT_EQ(control->SetDstClipRect(kFromParent, 3, 10, kFromParent, &value), S_OK);
    ExpectRect(c.DstClipRect, 20, 3, 30, 50);

    value = 9;
    ASSERT_EQ(control->SetSrcRect(kFromParent, 0, 10, 10, &value), S_OK);  // only a number here
    EXPECT_EQ(value, 0);
    EXPECT_EQ(c.SrcRect.Left, kFromParent);
}

TEST(RectSettersTest, OverflowFailsAfterTheEdgesBefore) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    LONG value = 0;
    EXPECT_EQ(control->SetDstRect(0x7FFFFFF0, 5, 100, 10, &value), E_UNEXPECTED);
    EXPECT_EQ(c.DstRect.Left, 0x7FFFFFF0);
    EXPECT_EQ(c.DstRect.Top, 5);
    EXPECT_EQ(c.DstRect.Bottom, 0);  // step 4 never ran
    c.SrcRect = EdgeRect{0, 0, 100, 100};
    ASSERT_EQ(control->put_SrcLeft(10), S_OK);
    LONG width = 0;
    control->get_SrcWidth(&width);
    EXPECT_EQ(width, 90);
}

TEST(B2sConvertTest, ScalesThroughTheRectangles) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    c.SrcRect = EdgeRect{0, 0, 100, 100};
    c.DstRect = EdgeRect{0, 0, 200, 50};
    FLOAT sx = -1, sy = -1;
    LONG value = 5;
    ASSERT_EQ(control->b2sConvertS(10, 10, &sx, &sy, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_FLOAT_EQ(sx, 20);
    EXPECT_FLOAT_EQ(sy, 5);

    c.SrcRect = EdgeRect{10, 0, 10, 100};  // zero width: refused, outputs untouched
    sx = sy = 77;
    ASSERT_EQ(control->b2sConvertS(1, 1, &sx, &sy, &value), S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(sx, 77);
    c.SrcRect = EdgeRect{-0x7FFFFFFF, 0, 0x7FFFFFFF, 1};  // overflowing width
    ASSERT_EQ(control->b2sConvertS(1, 1, &sx, &sy, &value), S_OK);
    EXPECT_EQ(value, -1);
}

TEST(ScrollTest, ScrollMessagesMoveThePaintBoxAndResetTheRects) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SendMessage(&c.Form, WM_SIZE, 0, MAKELPARAM(200, 100));
    LoadImage(c, 500, 400, 24, ORDER_BGR);
    c.DstRect = EdgeRect{};
    SendMessage(&c.Form, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 120), 0);
    EXPECT_EQ(c.Form.HorzScrollBar().position, 120);
    EXPECT_EQ(c.MainPaintBox->Left(), -120);
    ExpectRect(c.DstRect, 0, 0, 500, 400);
    EXPECT_TRUE(c.MainPaintBox->Invalid());
    SendMessage(&c.Form, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    EXPECT_EQ(c.Form.VertScrollBar().position, 24);
    SendMessage(&c.Form, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
    EXPECT_EQ(c.Form.VertScrollBar().position, 300);  // range − page
}

TEST(ScrollTest, ResizeWhileScrolledShowsTheImageOnceOffset) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SendMessage(&c.Form, WM_SIZE, 0, MAKELPARAM(200, 100));
    LoadImage(c, 500, 400, 24, ORDER_BGR);
    // Each pixel tells where it came from: blue = x / 2, green = y / 2.
    for (unsigned y = 0; y < 400; ++y)
        for (unsigned x = 0; x < 500; ++x) {
            std::uint8_t* p = c.CurrentBitmap.Addr + y * c.CurrentBitmap.BytesPerLine + 3 * x;
            p[0] = static_cast<std::uint8_t>(x / 2);
            p[1] = static_cast<std::uint8_t>(y / 2);
            p[2] = 0;
        }
    SendMessage(&c.Form, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 120), 0);
    SendMessage(&c.Form, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 60), 0);
    SendMessage(&c.Form, WM_SIZE, 0, MAKELPARAM(240, 150));
    ExpectRect(c.DstRect, 0, 0, 500, 400);
    UpdateWindow(&c.Form);
    const std::vector<std::uint32_t> screen = c.Form.CaptureClient();
    // The client's top-left corner shows the image at the scroll position, not twice as far.
    EXPECT_EQ(screen[0], (0u << 16) | (30u << 8) | 60u);
    EXPECT_EQ(screen[static_cast<std::size_t>(149) * 240 + 239],
              (0u << 16) | (((60u + 149) / 2) << 8) | ((120u + 239) / 2));
}

TEST(ScalingModeTest, OnlyModesOneAndTwo) {
    auto control = NewControl();
    LONG value = 0;
    control->SetPaintScalingMode(2, &value);
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(L_GetDisplayMode() & DISP_RESAMPLE);
    control->SetPaintScalingMode(3, &value);
    EXPECT_EQ(value, -1);
    EXPECT_TRUE(L_GetDisplayMode() & DISP_RESAMPLE);
    control->SetPaintScalingMode(1, &value);
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(L_GetDisplayMode() & DISP_RESAMPLE);
}

}  // namespace
