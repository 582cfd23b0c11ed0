#include <gtest/gtest.h>

#include "engine/Display.h"
#include "engine/Kernel.h"

namespace {

void MakeGray(ScopedBitmap& b, unsigned bits) {
    ASSERT_EQ(L_CreateBitmap(b.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 4, 3, bits, ORDER_GRAY,
                             nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
}

}  // namespace

TEST(WindowLevel, KeepsItsOwnCopyOfTheTableAndThePaintWindow) {
    ScopedBitmap b;
    MakeGray(b, 16);
    std::vector<RGBQUAD> lut(4096);
    for (std::size_t i = 0; i < lut.size(); ++i)
        lut[i] = RGBQUAD{std::uint8_t(i), std::uint8_t(i >> 4), 0, 0};
    ASSERT_EQ(L_WindowLevel(b.get(), 2, 13, lut.data(), 4096, 0), SUCCESS);
    EXPECT_EQ(b->PaintLowBit, 2);
    EXPECT_EQ(b->PaintHighBit, 13);
    ASSERT_EQ(b->LUTLength, 4096u);
    ASSERT_NE(b->pLUT, lut.data());
    lut[100].rgbBlue = 0;  // the caller's table is borrowed only for the call
    EXPECT_EQ(b->pLUT[100].rgbBlue, 100);
    // The bitmap's own table passed back in (as loaders do) survives being replaced.
    ASSERT_EQ(L_WindowLevel(b.get(), 0, 15, b->pLUT, b->LUTLength, 0), SUCCESS);
    EXPECT_EQ(b->pLUT[100].rgbBlue, 100);
    ScopedBitmap copy;
    ASSERT_EQ(L_CopyBitmap(copy.get(), b.get(), BITMAPHANDLE_STRUCT_SIZE), SUCCESS);
    EXPECT_NE(copy->pLUT, b->pLUT);
    EXPECT_EQ(copy->pLUT[100].rgbBlue, 100);
}

TEST(WindowLevel, FillsALinearRamp) {
    ScopedBitmap b;
    MakeGray(b, 12);
    ASSERT_EQ(L_WindowLevel(b.get(), 0, 11, nullptr, 256, WINDOWLEVEL_FILLLUT), SUCCESS);
    EXPECT_EQ(b->pLUT[0].rgbRed, 0);
    EXPECT_EQ(b->pLUT[128].rgbGreen, 128);
    EXPECT_EQ(b->pLUT[255].rgbBlue, 255);
}

TEST(WindowLevel, RefusesWhatItCannotPaint) {
    ScopedBitmap empty;
    RGBQUAD entry{};
    EXPECT_EQ(L_WindowLevel(empty.get(), 0, 15, &entry, 1, 0), ERROR_NO_BITMAP);
    EXPECT_EQ(L_WindowLevel(nullptr, 0, 15, &entry, 1, 0), ERROR_NO_BITMAP);
    ScopedBitmap b;
    MakeGray(b, 12);
    EXPECT_EQ(L_WindowLevel(b.get(), 0, 12, &entry, 1, 0), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_WindowLevel(b.get(), 5, 4, &entry, 1, 0), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_WindowLevel(b.get(), 0, 11, nullptr, 16, 0), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_WindowLevel(b.get(), 0, 11, &entry, 0, 0), ERROR_INV_PARAMETER);
    ScopedBitmap rgb;
    ASSERT_EQ(L_CreateBitmap(rgb.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 2, 2, 24, ORDER_BGR,
                             nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    EXPECT_EQ(L_WindowLevel(rgb.get(), 0, 7, &entry, 1, 0), ERROR_BITPERPIXEL);
}
