// Fit mode keeps the image's aspect ratio whatever happens to the control after a load: a resize
// or a wheel message places the image centred in the client area, never stretched over it.
#include <gtest/gtest.h>

#include "engine/Kernel.h"
#include "tests/control/ControlFixture.h"

namespace {

void LoadFitImage(TaxLumora& control, unsigned width, unsigned height) {
    L_FreeBitmap(&control.CurrentBitmap);
    L_InitBitmap(&control.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
    ASSERT_EQ(L_CreateBitmap(&control.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width,
                             height, 16, ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    control.UpdatePaintRects(true, true, true);
}

void ExpectRect(const EdgeRect& r, int left, int top, int right, int bottom) {
    EXPECT_EQ(r.Left, left);
    EXPECT_EQ(r.Top, top);
    EXPECT_EQ(r.Right, right);
    EXPECT_EQ(r.Bottom, bottom);
}

}  // namespace

TEST(FitResize, ResizingCentresTheImageAtItsAspectRatio) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    ASSERT_EQ(control->put_PAINTSIZEMODE(PAINTSIZEMODE_FIT), S_OK);
    LoadFitImage(c, 300, 200);  // 3:2
    SendMessage(&c.Form, WM_SIZE, 0, MAKELPARAM(600, 600));
    ExpectRect(c.DstRect, 0, 100, 600, 500);  // before any ForceRepaint
    SendMessage(&c.Form, WM_SIZE, 0, MAKELPARAM(900, 200));
    ExpectRect(c.DstRect, 300, 0, 600, 200);
    // A wheel message resets the rectangles without fitting the control: still undistorted.
    SendMessage(&c.Form, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    ExpectRect(c.DstRect, 300, 0, 600, 200);
}

TEST(FitResize, TransposedViewsFitTheirDisplayedShape) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    ASSERT_EQ(control->put_PAINTSIZEMODE(PAINTSIZEMODE_FIT), S_OK);
    LoadFitImage(c, 300, 200);
    c.CurrentBitmap.ViewPerspective = RIGHT_TOP;  // shown 200 wide, 300 high
    SendMessage(&c.Form, WM_SIZE, 0, MAKELPARAM(600, 600));
    ExpectRect(c.DstRect, 100, 0, 500, 600);
}

TEST(FitResize, WithoutAnImageTheWholeClientAreaRemains) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    ASSERT_EQ(control->put_PAINTSIZEMODE(PAINTSIZEMODE_FIT), S_OK);
    SendMessage(&c.Form, WM_SIZE, 0, MAKELPARAM(640, 480));
    ExpectRect(c.DstRect, 0, 0, 640, 480);
}
