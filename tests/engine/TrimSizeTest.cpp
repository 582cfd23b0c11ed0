#include <gtest/gtest.h>

#include "engine/Kernel.h"

namespace {

// An image whose palette index (or sample) at (row, col) is a known function of the position.
void Patterned(ScopedBitmap& b, unsigned bits, int width, int height) {
    ASSERT_EQ(L_CreateBitmap(b.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height, bits,
                             bits <= 8 ? ORDER_BGR : ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint32_t v =
                static_cast<std::uint32_t>(x * 3 + y * 5) % (bits >= 12 ? 4096u : (1u << bits));
            ASSERT_EQ(L_PutPixelData(b.get(), &v, y, x, 4), SUCCESS);
        }
}

std::uint32_t At(const ScopedBitmap& b, int row, int col) {
    std::uint32_t v = 0;
    EXPECT_EQ(L_GetPixelData(b.get(), &v, row, col, 4), SUCCESS);
    return v;
}

}  // namespace

TEST(TrimBitmap, KeepsTheRectangleAtEveryDepthIncludingPackedOnes) {
    for (unsigned bits : {1u, 4u, 8u, 12u, 16u}) {
        ScopedBitmap b;
        Patterned(b, bits, 13, 7);
        ASSERT_EQ(L_TrimBitmap(b.get(), 3, 2, 9, 4), SUCCESS) << bits;
        ASSERT_EQ(b->Width, 9);
        ASSERT_EQ(b->Height, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(At(b, y, x), static_cast<std::uint32_t>((x + 3) * 3 + (y + 2) * 5) %
                                           (bits >= 12 ? 4096u : (1u << bits)))
                    << bits << " bits at " << x << "," << y;
    }
}

TEST(TrimBitmap, RefusesRectanglesOutsideTheImage) {
    ScopedBitmap b;
    Patterned(b, 8, 5, 5);
    EXPECT_EQ(L_TrimBitmap(b.get(), -1, 0, 2, 2), ERROR_INV_RANGE);
    EXPECT_EQ(L_TrimBitmap(b.get(), 4, 0, 2, 2), ERROR_INV_RANGE);
    EXPECT_EQ(L_TrimBitmap(b.get(), 0, 0, 0, 2), ERROR_INV_SIZE);
    EXPECT_EQ(L_TrimBitmap(b.get(), 1, 1, 2147483647, 1), ERROR_INV_RANGE);
    EXPECT_EQ(b->Width, 5);
    ScopedBitmap empty;
    EXPECT_EQ(L_TrimBitmap(empty.get(), 0, 0, 1, 1), ERROR_NO_BITMAP);
}

TEST(SizeBitmap, NearestSamplingKeepsPaletteIndicesAndPackedPixels) {
    for (unsigned bits : {1u, 4u, 8u}) {
        ScopedBitmap b;
        Patterned(b, bits, 6, 4);
        ASSERT_EQ(L_SizeBitmap(b.get(), 12, 8, SIZE_FLAG_RESAMPLE), SUCCESS) << bits;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 12; ++x)
                ASSERT_EQ(At(b, y, x),
                          static_cast<std::uint32_t>((x / 2) * 3 + (y / 2) * 5) % (1u << bits))
                    << bits;
    }
}

TEST(SizeBitmap, CubicBlendingStaysInsideTheTwelveBitRange) {
    ScopedBitmap b;
    ASSERT_EQ(L_CreateBitmap(b.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 4, 1, 12, ORDER_GRAY,
                             nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    const std::uint32_t levels[] = {0, 4095, 0, 4095};
    for (int x = 0; x < 4; ++x) L_PutPixelData(b.get(), &levels[x], 0, x, 4);
    ASSERT_EQ(L_SizeBitmap(b.get(), 13, 1, SIZE_FLAG_BICUBIC), SUCCESS);
    for (int x = 0; x < 13; ++x) EXPECT_LE(At(b, 0, x), 4095u);
    EXPECT_EQ(L_SizeBitmap(b.get(), -1, 4, 0), ERROR_INV_SIZE);
}
