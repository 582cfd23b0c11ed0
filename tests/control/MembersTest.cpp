// The members built on the engine core: bitmap creation and transfer, the image queries, the
// engine-backed operations and the display settings kept as fields.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "ControlFixture.h"
#include "engine/Kernel.h"
#include "engine/PixelView.h"

namespace {

std::uint16_t Sample16(const BITMAPHANDLE& b, int row, int col) {
    engine::ConstPixelView view;
    EXPECT_EQ(engine::AccessPixels(&b, &view), SUCCESS);
    return view.Row16(row)[col];
}

}  // namespace

TEST(CreateBitmap, TruncatesTheSizeAndMapsTheStatus) {
    auto control = NewControl();
    LONG value = -7;
    ASSERT_EQ(control->CreateBitmap(100.9f, 50.2f, 16, 2, &value), S_OK);
    EXPECT_EQ(value, 0);
    FLOAT width = 0, height = 0;
    LONG bits = 0, gray = -1;
    control->get_BitmapWidth(&width);
    control->get_BitmapHeight(&height);
    control->get_BitmapBits(&bits);
    control->get_IsGrayscale(&gray);
    EXPECT_EQ(width, 100.0f);
    EXPECT_EQ(height, 50.0f);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(gray, GRAY_ORDEREDNORMAL);
    EXPECT_EQ(Impl(control).CurrentBitmap.BytesPerLine % 4, 0);
}

TEST(CreateBitmap, AnUnsupportedDepthIsAnEngineFailureInValue) {
    auto control = NewControl();
    LONG value = 0;
    ASSERT_EQ(control->CreateBitmap(10, 10, 13, 0, &value), S_OK);
    EXPECT_LT(value, 0);
    EXPECT_FALSE(Impl(control).ImagePresent());
}

TEST(CreateBitmap, RangeErrorsFailTheCallAfterTheInitialisationResult) {
    auto control = NewControl();
    LONG value = 1234;
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(control->CreateBitmap(10, 10, -1, 0, &value), E_UNEXPECTED);
    EXPECT_EQ(value, SUCCESS);  // the unmapped result of the initialisation
    EXPECT_EQ(LastErrorDescription(), "Range check error");
    EXPECT_EQ(control->CreateBitmap(10, 10, 8, -3, &value), E_UNEXPECTED);
    EXPECT_EQ(control->CreateBitmap(-2.0f, 10, 8, 0, &value), E_UNEXPECTED);
    EXPECT_EQ(control->CreateBitmap(5e9f, 10, 8, 0, &value), E_UNEXPECTED);
    EXPECT_EQ(control->CreateBitmap(std::numeric_limits<float>::quiet_NaN(), 10, 8, 0, &value),
              E_UNEXPECTED);
}

TEST(CreateBitmap, AbsurdSizesFailCleanlyInValue) {
    auto control = NewControl();
    LONG value = 0;
    ASSERT_EQ(control->CreateBitmap(100000.0f, 100000.0f, 32, 0, &value), S_OK);
    EXPECT_NE(value, 0);
    EXPECT_FALSE(Impl(control).ImagePresent());
    ASSERT_EQ(control->CreateBitmap(0.0f, 10.0f, 8, 0, &value), S_OK);
    EXPECT_NE(value, 0);
}

TEST(BitmapProperty, EmptyControlGivesZeroAndWritingZeroEmpties) {
    auto control = NewControl();
    ULONG handle = 99;
    control->get_Bitmap(&handle);
    EXPECT_EQ(handle, 0u);
    LONG value = 0;
    control->CreateBitmap(4, 4, 8, 2, &value);
    control->get_Bitmap(&handle);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(control->put_Bitmap(0), S_OK);
    EXPECT_FALSE(Impl(control).ImagePresent());
    control->get_Bitmap(&handle);
    EXPECT_EQ(handle, 0u);
}

TEST(BitmapProperty, WritingAnotherControlsHandleCopiesItsImage) {
    auto source = NewControl();
    auto target = NewControl();
    LONG value = 0;
    source->CreateBitmap(7, 3, 16, 2, &value);
    SHORT filled = -1;
    source->Fill(COLOR_GRAY16_MARKER | 1234, &filled);
    ASSERT_EQ(filled, 0);
    ULONG handle = 0;
    source->get_Bitmap(&handle);
    ASSERT_EQ(target->put_Bitmap(handle), S_OK);
    const BITMAPHANDLE& copy = Impl(target).CurrentBitmap;
    ASSERT_TRUE(Impl(target).ImagePresent());
    EXPECT_EQ(copy.Width, 7);
    EXPECT_EQ(copy.Height, 3);
    EXPECT_EQ(Sample16(copy, 2, 6), 1234);
    EXPECT_NE(copy.Addr, Impl(source).CurrentBitmap.Addr);
    // A later change to the source leaves the copy alone.
    SHORT result = 0;
    source->Invert(&result);
    EXPECT_EQ(Sample16(copy, 2, 6), 1234);
    EXPECT_EQ(Sample16(Impl(source).CurrentBitmap, 2, 6), 65535 - 1234);
}

TEST(BitmapProperty, WritingItsOwnHandleKeepsTheImage) {
    auto control = NewControl();
    LONG value = 0;
    control->CreateBitmap(5, 5, 16, 2, &value);
    SHORT filled = 0;
    control->Fill(COLOR_GRAY16_MARKER | 777, &filled);
    ULONG handle = 0;
    control->get_Bitmap(&handle);
    ASSERT_EQ(control->put_Bitmap(handle), S_OK);
    ASSERT_TRUE(Impl(control).ImagePresent());
    EXPECT_EQ(Sample16(Impl(control).CurrentBitmap, 4, 4), 777);
}

TEST(BitmapProperty, AnUnknownHandleLeavesTheControlEmpty) {
    auto control = NewControl();
    LONG value = 0;
    control->CreateBitmap(5, 5, 8, 2, &value);
    EXPECT_EQ(control->put_Bitmap(0xDEADBEEF), S_OK);
    EXPECT_FALSE(Impl(control).ImagePresent());
}

TEST(EngineMembers, InvertMapsTheEngineStatus) {
    auto control = NewControl();
    SHORT value = 0;
    ASSERT_EQ(control->Invert(&value), S_OK);
    EXPECT_EQ(value, ERROR_NO_BITMAP);  // the empty bitmap goes to the engine as it is
    LONG created = 0;
    control->CreateBitmap(3, 2, 16, 2, &created);
    SHORT filled = 0;
    control->Fill(COLOR_GRAY16_MARKER | 100, &filled);
    EXPECT_EQ(filled, 0);
    ASSERT_EQ(control->Invert(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Sample16(Impl(control).CurrentBitmap, 1, 2), 65435);
}

TEST(EngineMembers, FlipMirrorAndFastRotateChangeOrientation) {
    auto control = NewControl();
    LONG created = 0;
    control->CreateBitmap(1000, 800, 16, 2, &created);
    BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    std::uint16_t corner = 4321;
    ASSERT_EQ(L_PutPixelData(&b, &corner, 0, 0, 2), SUCCESS);
    SHORT value = 0;
    control->Flip(&value);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Sample16(b, 799, 0), 4321);
    control->VerticalMirror(&value);
    EXPECT_EQ(Sample16(b, 799, 999), 4321);

    LONG rotated = -1, perspective = 0;
    ASSERT_EQ(control->FastRotate(90, &rotated), S_OK);
    EXPECT_EQ(rotated, 0);
    control->get_InfoViewPerspective(&perspective);
    EXPECT_GE(perspective, 5);
    FLOAT width = 0, height = 0;
    control->get_BitmapWidth(&width);
    control->get_BitmapHeight(&height);
    EXPECT_EQ(width, 800.0f);
    EXPECT_EQ(height, 1000.0f);
    ASSERT_EQ(control->FastRotate(45, &rotated), S_OK);
    EXPECT_NE(rotated, 0);
}

TEST(Properties, BooleansReadBackAsMinusOneWhateverNonZeroWasWritten) {
    auto control = NewControl();
    VARIANT_BOOL flag = 0;
    control->put_AutoSetRects(1);
    control->get_AutoSetRects(&flag);
    EXPECT_EQ(flag, -1);
    control->put_BackErase(0);
    control->get_BackErase(&flag);
    EXPECT_EQ(flag, 0);
    control->put_AutoRepaint(0x100);
    control->get_AutoRepaint(&flag);
    EXPECT_EQ(flag, -1);
}

TEST(Properties, IgnoredSwitchesStoreNothingAndWriteNothing) {
    auto control = NewControl();
    EXPECT_EQ(control->put_EnableMethodErrors(VARIANT_TRUE), S_OK);
    VARIANT_BOOL untouched = 123;
    EXPECT_EQ(control->get_EnableMethodErrors(&untouched), S_OK);
    EXPECT_EQ(untouched, 123);
    EXPECT_EQ(control->put_EnablePaint(VARIANT_FALSE), S_OK);
    EXPECT_EQ(control->get_EnablePaint(&untouched), S_OK);
    EXPECT_EQ(untouched, 123);
    // A failing engine call still succeeds with the failure in Value.
    SHORT value = 0;
    EXPECT_EQ(control->Invert(&value), S_OK);
    EXPECT_NE(value, 0);
}

TEST(Properties, RectangleEdgesAndDerivedSizes) {
    auto control = NewControl();
    control->put_SrcLeft(10);
    control->put_SrcWidth(100);
    control->put_SrcLeft(30);  // moves one edge: the width shrinks
    LONG value = 0;
    control->get_SrcWidth(&value);
    EXPECT_EQ(value, 80);
    control->put_DstClipTop(-5);
    control->put_DstClipHeight(20);
    const EdgeRect& clip = Impl(control).DstClipRect;
    EXPECT_EQ(clip.Top, -5);
    EXPECT_EQ(clip.Bottom, 15);
    control->put_DstLeft(INT32_MAX - 1);
    EXPECT_EQ(control->put_DstWidth(10), E_UNEXPECTED);  // overflow of Right
    control->put_DstLeft(0);
    control->put_DstWidth(5);
    control->put_DstLeft(6);
    EXPECT_EQ(control->get_DstWidth(&value), S_OK);
    EXPECT_EQ(value, -1);
    control->put_DstLeft(INT32_MIN);
    control->put_DstWidth(0);
    control->put_DstLeft(1);
    EXPECT_EQ(control->get_DstWidth(&value), E_UNEXPECTED);  // Right - Left overflows
}

TEST(Properties, ResolutionWritesTheBitmapDirectly) {
    auto control = NewControl();
    LONG created = 0, value = 0;
    control->CreateBitmap(2, 2, 8, 2, &created);
    control->put_BitmapXRes(300);
    control->put_BitmapYRes(-4);
    control->get_BitmapXRes(&value);
    EXPECT_EQ(value, 300);
    control->get_BitmapYRes(&value);
    EXPECT_EQ(value, -4);
    EXPECT_EQ(Impl(control).CurrentBitmap.XResolution, 300);
}

TEST(EngineMembers, RotateChecksItsArgumentsAndFollowsTheNewSize) {
    auto control = NewControl();
    LONG created = 0;
    control->CreateBitmap(1000, 800, 16, 2, &created);
    SHORT value = 99;
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(control->ROTATE(9000, 1, -1, &value), E_UNEXPECTED);
    EXPECT_EQ(control->ROTATE(9000, -1, 0, &value), E_UNEXPECTED);
    EXPECT_EQ(value, 99);  // refused before the engine is called
    EXPECT_EQ(Impl(control).CurrentBitmap.Width, 1000);

    ASSERT_EQ(control->ROTATE(9000, 1, 0, &value), S_OK);
    EXPECT_EQ(value, 0);
    FLOAT width = 0;
    control->get_BitmapWidth(&width);
    EXPECT_EQ(width, 800.0f);
    LONG dstWidth = 0;
    control->get_DstWidth(&dstWidth);
    EXPECT_EQ(dstWidth, 800);  // the rectangles follow a successful rotation
}

TEST(EngineMembers, HorizontalMirrorTurnsTopToBottom) {
    auto control = NewControl();
    LONG created = 0;
    control->CreateBitmap(6, 4, 16, 2, &created);
    BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    const std::uint16_t marker = 4321;
    ASSERT_EQ(L_PutPixelData(&b, &marker, 0, 1, 2), SUCCESS);
    SHORT value = -1;
    ASSERT_EQ(control->HorizontalMirror(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Sample16(Impl(control).CurrentBitmap, 3, 1), 4321);
    EXPECT_EQ(Sample16(Impl(control).CurrentBitmap, 0, 1), 0);
}

TEST(EngineMembers, AverageAndGrayScale) {
    auto control = NewControl();
    LONG created = 0;
    control->CreateBitmap(9, 7, 16, 2, &created);
    SHORT filled = 0, value = 0;
    control->Fill(COLOR_GRAY16_MARKER | 3000, &filled);
    EXPECT_EQ(control->Average(-3, &value), E_UNEXPECTED);
    ASSERT_EQ(control->Average(3, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Sample16(Impl(control).CurrentBitmap, 3, 4), 3000);  // a flat field stays flat
    LONG converted = -1, bits = 0;
    ASSERT_EQ(control->GrayScale(8, &converted), S_OK);
    EXPECT_EQ(converted, 0);
    control->get_BitmapBits(&bits);
    EXPECT_EQ(bits, 8);
}

TEST(EngineMembers, TrimKeepsARectangleAndRefusesBadSizes) {
    auto control = NewControl();
    LONG created = 0, value = -7;
    control->CreateBitmap(7, 5, 16, 2, &created);
    BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    const std::uint16_t marker = 999;
    ASSERT_EQ(L_PutPixelData(&b, &marker, 3, 4, 2), SUCCESS);
    EXPECT_EQ(control->Trim(1, 1, -2, 3, &value), E_UNEXPECTED);
    EXPECT_EQ(control->Trim(1, 1, 3, -1, &value), E_UNEXPECTED);
    ASSERT_EQ(control->Trim(5, 0, 4, 2, &value), S_OK);  // past the right edge
    EXPECT_NE(value, 0);
    EXPECT_EQ(Impl(control).CurrentBitmap.Width, 7);
    ASSERT_EQ(control->Trim(2, 1, 4, 3, &value), S_OK);
    EXPECT_EQ(value, 0);
    const BITMAPHANDLE& t = Impl(control).CurrentBitmap;
    EXPECT_EQ(t.Width, 4);
    EXPECT_EQ(t.Height, 3);
    EXPECT_EQ(Sample16(t, 2, 2), 999);
    LONG srcWidth = 0;
    control->get_SrcWidth(&srcWidth);
    EXPECT_EQ(srcWidth, 4);
}

TEST(EngineMembers, SizeTakesTheDisplayedWidthAndHeight) {
    auto control = NewControl();
    LONG created = 0, value = -7;
    control->CreateBitmap(1000, 800, 16, 2, &created);
    LONG rotated = 0;
    control->FastRotate(90, &rotated);  // perspective 5 … 8: rows shown as columns
    ASSERT_EQ(control->SIZE(300, 200, 0, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Impl(control).CurrentBitmap.Width, 200);
    EXPECT_EQ(Impl(control).CurrentBitmap.Height, 300);
    FLOAT width = 0, height = 0;
    control->get_BitmapWidth(&width);
    control->get_BitmapHeight(&height);
    EXPECT_EQ(width, 300.0f);
    EXPECT_EQ(height, 200.0f);
    EXPECT_EQ(control->SIZE(10, 10, -1, &value), E_UNEXPECTED);
    ASSERT_EQ(control->SIZE(0, 10, 2, &value), S_OK);
    EXPECT_NE(value, 0);
}

TEST(EngineMembers, SizeBlendsSamplesWhenAsked) {
    auto control = NewControl();
    LONG created = 0, value = 0;
    control->CreateBitmap(2, 1, 16, 2, &created);
    BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    const std::uint16_t dark = 1000, bright = 3000;
    L_PutPixelData(&b, &dark, 0, 0, 2);
    L_PutPixelData(&b, &bright, 0, 1, 2);
    ASSERT_EQ(control->SIZE(4, 1, 2, &value), S_OK);
    ASSERT_EQ(value, 0);
    const BITMAPHANDLE& s = Impl(control).CurrentBitmap;
    EXPECT_EQ(Sample16(s, 0, 0), 1000);
    EXPECT_EQ(Sample16(s, 0, 1), 1500);  // a quarter of the way
    EXPECT_EQ(Sample16(s, 0, 3), 3000);
}
