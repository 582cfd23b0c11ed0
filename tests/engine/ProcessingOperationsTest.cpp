#include <gtest/gtest.h>

#include <cstdint>

#include "engine/Kernel.h"
#include "engine/Processing.h"

TEST(RotateBitmap, AnyAngleGrowsTheBitmapAndFillsTheCorners) {
    ScopedBitmap bitmap;
    ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 21, 11, 16,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    ASSERT_EQ(L_FillBitmap(bitmap.get(), COLOR_GRAY16_MARKER | 40000), SUCCESS);
    ASSERT_EQ(L_RotateBitmap(bitmap.get(), 4500, ROTATEFLAG_RESIZE, COLOR_GRAY16_MARKER | 7),
              SUCCESS);
    EXPECT_EQ(bitmap->Width, 23);  // ceil((21 + 11) / √2)
    EXPECT_EQ(bitmap->Height, 23);
    EXPECT_EQ(L_GetPixelColor(bitmap.get(), 11, 11) & 0xFFFF, 40000u);
    EXPECT_EQ(L_GetPixelColor(bitmap.get(), 0, 0) & 0xFFFF, 7u);
}

TEST(AverageFilter, BoxMeanRepeatsTheEdge) {
    ScopedBitmap bitmap;
    ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 3, 1, 16,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    auto* row = reinterpret_cast<std::uint16_t*>(bitmap->Addr);
    row[0] = 0, row[1] = 9, row[2] = 90;
    ASSERT_EQ(L_AverageFilterBitmap(bitmap.get(), 3), SUCCESS);
    EXPECT_EQ(row[0], 3);   // (0 + 0 + 9) / 3
    EXPECT_EQ(row[1], 33);  // (0 + 9 + 90) / 3
    EXPECT_EQ(row[2], 63);  // (9 + 90 + 90) / 3
    EXPECT_EQ(L_AverageFilterBitmap(bitmap.get(), 0), ERROR_INV_PARAMETER);
}

TEST(FunctionalLookupTable, LinearFillsBetweenTheEnds) {
    std::uint32_t lut[5] = {10, 0, 0, 0, 50};
    ASSERT_EQ(L_GetFunctionalLookupTable(lut, 5, 0, 4, 0, FLT_LINEAR), SUCCESS);
    EXPECT_EQ(lut[2], 30u);
    EXPECT_EQ(L_GetFunctionalLookupTable(lut, 5, 0, 5, 0, FLT_LINEAR), ERROR_INV_PARAMETER);
}
