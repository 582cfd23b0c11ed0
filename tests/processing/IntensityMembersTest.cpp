// The intensity, colour-resolution and combining members: their argument checks, how the engine's
// status reaches Value, and the source bitmap of Combine named through the handle table.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/Intensity.h"
#include "engine/Kernel.h"
#include "tests/control/ControlFixture.h"

namespace {

std::uint16_t Sample16(const BITMAPHANDLE& b, int row, int col) {
    std::uint16_t v = 0;
    std::memcpy(&v, b.Addr + static_cast<std::size_t>(row) * b.BytesPerLine + 2 * col, 2);
    return v;
}

// A control holding a width × height 16-bit grey image of one level, plus level 0 at (0, 0) so
// the intensity operations have a range to work on.
ComPtr<IaxLumora> GreyControl(int width, int height, std::uint16_t level) {
    auto control = NewControl();
    LONG created = 0;
    control->CreateBitmap(static_cast<FLOAT>(width), static_cast<FLOAT>(height), 16, ORDER_GRAY,
                          &created);
    SHORT filled = 0;
    control->Fill(COLOR_GRAY16_MARKER | level, &filled);
    const std::uint16_t zero = 0;
    L_PutPixelData(&Impl(control).CurrentBitmap, &zero, 0, 0, 2);
    return control;
}

TEST(IntensityMembers, MapTheEngineStatusIntoA16BitValue) {
    auto control = GreyControl(5, 4, 1000);
    const BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    SHORT value = -9;
    ASSERT_EQ(control->StretchIntensity(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Sample16(b, 3, 4), 65535);
    ASSERT_EQ(control->GammaCorrect(0, &value), S_OK);
    EXPECT_EQ(value, ERROR_INV_PARAMETER);
    ASSERT_EQ(control->HistoEqualize(&value), S_OK);
    EXPECT_EQ(value, 0);

    // A colour image is equalised by its luminance: its darkest pixel goes to black.
    auto colour = NewControl();
    LONG created = 0;
    colour->CreateBitmap(3, 1, 24, ORDER_BGR, &created);
    L_PutPixelColor(&Impl(colour).CurrentBitmap, 0, 1, 0x203040);
    L_PutPixelColor(&Impl(colour).CurrentBitmap, 0, 2, 0x406080);
    ASSERT_EQ(colour->HistoEqualize(&value), S_OK);
    EXPECT_EQ(value, 0);
    // Luma 102 becomes 255: every channel gains 153, red clamped at 255.
    EXPECT_EQ(L_GetPixelColor(&Impl(colour).CurrentBitmap, 0, 2), 0xD9F9FFu);

    auto empty = NewControl();
    ASSERT_EQ(empty->StretchIntensity(&value), S_OK);
    EXPECT_EQ(value, ERROR_NO_BITMAP);
    ASSERT_EQ(empty->HistoEqualize(&value), S_OK);
    EXPECT_EQ(value, ERROR_NO_BITMAP);
}

TEST(IntensityMembers, HistoContrastOfZeroIsRefusedUntouched) {
    auto control = GreyControl(5, 4, 1000);
    const BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    SHORT value = 0;
    ASSERT_EQ(control->HistoContrast(0, &value), S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(Sample16(b, 3, 4), 1000);
    ASSERT_EQ(control->HistoContrast(1000, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Sample16(b, 3, 4), 65535);  // above the mean: the threshold's top
    ASSERT_EQ(control->HistoContrast(1001, &value), S_OK);
    EXPECT_EQ(value, ERROR_INV_PARAMETER);
}

TEST(IntensityMembers, GammaCorrectRefusesANegativeGammaAsARangeError) {
    auto control = GreyControl(5, 4, 16384);
    const BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    SHORT value = 77;
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(control->GammaCorrect(-1, &value), E_UNEXPECTED);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(Sample16(b, 3, 4), 16384);
    ASSERT_EQ(control->GammaCorrect(200, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Sample16(b, 3, 4), 32768);  // 65535 × √(16384 / 65535), rounded
}

TEST(IntensityMembers, ShadowReturnsTheEngineStatusUnconverted) {
    auto control = GreyControl(12, 3, 100);
    BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    const std::uint16_t bright = 60000;
    L_PutPixelData(&b, &bright, 1, 2, 2);
    LONG value = 0;
    ASSERT_EQ(control->Shadow(0, 30000, 0, &value), S_OK);
    EXPECT_EQ(value, SUCCESS);
    EXPECT_EQ(Sample16(b, 1, 6), 50);  // 4 pixels to the right, halved
    ASSERT_EQ(control->Shadow(0, 30000, 0x80000000u, &value), S_OK);
    EXPECT_EQ(value, ERROR_INV_PARAMETER);
    auto empty = NewControl();
    ASSERT_EQ(empty->Shadow(0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, ERROR_NO_BITMAP);
}

TEST(IntensityMembers, ColorResChecksColorsThenTheFlagWordAndConvertsInPlace) {
    auto control = NewControl();
    LONG value = 0;
    control->CreateBitmap(9, 7, 24, ORDER_BGR, &value);
    SHORT filled = 0;
    control->Fill(0x2080C0, &filled);
    value = 55;
    SetErrorInfo(0, nullptr);
    // Colors first: a negative count fails even with a good flag word.
    EXPECT_EQ(control->ColorRes(8, CRP_FIXEDPALETTE, CRD_NODITHERING, -1, 0, &value), E_UNEXPECTED);
    // The combined word: a negative palette, or a dither kind shifted into the sign bit.
    EXPECT_EQ(control->ColorRes(8, -1, CRD_NODITHERING, 0, 0, &value), E_UNEXPECTED);
    EXPECT_EQ(control->ColorRes(8, CRP_FIXEDPALETTE, 0x8000, 0, 0, &value), E_UNEXPECTED);
    EXPECT_EQ(value, 55);
    EXPECT_EQ(Impl(control).CurrentBitmap.BitsPerPixel, 24);

    // An unknown dither kind is the engine's to refuse.
    ASSERT_EQ(control->ColorRes(8, CRP_FIXEDPALETTE, 9, 0, 0, &value), S_OK);
    EXPECT_EQ(value, ERROR_INV_PARAMETER);
    ASSERT_EQ(control->ColorRes(8, CRP_FIXEDPALETTE, CRD_FLOYDSTEINDITHERING, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 0);
    LONG bits = 0;
    control->get_BitmapBits(&bits);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(Impl(control).CurrentBitmap.Width, 9);
}

TEST(CombineMember, TakesTheSourceFromAnotherControlsBitmapHandle) {
    auto target = GreyControl(6, 4, 1000);
    auto source = GreyControl(6, 4, 3000);
    ULONG handle = 0;
    source->get_Bitmap(&handle);
    ASSERT_NE(handle, 0u);
    LONG value = -9;
    // Only the low 32 bits name the source.
    const ULONGLONG srcBitmap = (ULONGLONG{0xABCD} << 32) | handle;
    ASSERT_EQ(target->Combine(1, 1, 3, 2, srcBitmap, 2, 2, COMBINE_OP_ADD, &value), S_OK);
    EXPECT_EQ(value, 0);
    const BITMAPHANDLE& b = Impl(target).CurrentBitmap;
    EXPECT_EQ(Sample16(b, 1, 1), 4000);
    EXPECT_EQ(Sample16(b, 2, 3), 4000);
    EXPECT_EQ(Sample16(b, 3, 3), 1000);  // outside the rectangle
    EXPECT_EQ(Sample16(Impl(source).CurrentBitmap, 2, 2), 3000);
}

TEST(CombineMember, CombinesTheCurrentBitmapWithItself) {
    auto control = GreyControl(6, 4, 1000);
    ULONG self = 0;
    control->get_Bitmap(&self);
    LONG value = -9;
    ASSERT_EQ(control->Combine(0, 0, 6, 4, self, 0, 0, COMBINE_OP_ADD, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Sample16(Impl(control).CurrentBitmap, 3, 5), 2000);
    EXPECT_EQ(Sample16(Impl(control).CurrentBitmap, 0, 0), 0);
}

TEST(CombineMember, AHandleThatNamesNoLiveBitmapFailsInValue) {
    auto target = GreyControl(6, 4, 1000);
    ULONG stale = 0;
    {
        auto gone = GreyControl(6, 4, 3000);
        gone->get_Bitmap(&stale);
    }  // the control is destroyed; its key is no longer registered
    LONG value = 0;
    for (ULONGLONG key : {ULONGLONG{stale}, ULONGLONG{0xDEADBEEF}, ULONGLONG{0}}) {
        ASSERT_EQ(target->Combine(0, 0, 6, 4, key, 0, 0, COMBINE_OP_ADD, &value), S_OK);
        EXPECT_EQ(value, ERROR_NO_BITMAP) << key;
    }
    // A live control without an image: its handle names a bitmap that holds none.
    auto empty = NewControl();
    const ULONG emptyKey = Impl(empty).CurrentBitmapKey();
    ASSERT_EQ(target->Combine(0, 0, 6, 4, emptyKey, 0, 0, COMBINE_OP_ADD, &value), S_OK);
    EXPECT_EQ(value, ERROR_NO_BITMAP);
    EXPECT_EQ(Sample16(Impl(target).CurrentBitmap, 3, 5), 1000);
    // An unknown flag word is the engine's invalid parameter.
    ULONG self = 0;
    target->get_Bitmap(&self);
    ASSERT_EQ(target->Combine(0, 0, 6, 4, self, 0, 0, 0x10000, &value), S_OK);
    EXPECT_EQ(value, ERROR_INV_PARAMETER);
}

}  // namespace
