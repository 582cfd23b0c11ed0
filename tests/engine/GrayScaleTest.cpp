// Grey conversion: the row kernels against the per-pixel reference, bit for bit.
#include <gtest/gtest.h>

#include "engine/Processing.h"
#include "engine/processing/GrayScale.h"
#include "tests/engine/TestBitmaps.h"

namespace {

using namespace enginetest;

TEST(GrayScale, RowKernelsMatchTheReferenceOnEveryFormat) {
    for (const Format& format : AllFormats()) {
        for (const Size& size : OddSizes()) {
            for (int bits : {8, 12, 16}) {
                TestImage fast(format, size.width, size.height, 11);
                TestImage reference(format, size.width, size.height, 11);
                if (format.bits == 12) {
                    // Words above 4095 are clamped by both.
                    Store(*fast, 0, 0, 0xFFFF);
                    Store(*reference, 0, 0, 0xFFFF);
                }
                ASSERT_EQ(L_GrayScaleBitmap(fast.get(), bits), SUCCESS)
                    << Describe(format, size.width, size.height);
                ASSERT_EQ(engine::GrayScaleReference(reference.get(), bits), SUCCESS);
                EXPECT_EQ(fast->BitsPerPixel, bits);
                EXPECT_EQ(Snapshot(*fast), Snapshot(*reference))
                    << Describe(format, size.width, size.height) << " to " << bits;
                EXPECT_TRUE(PaddingIsZero(*fast));
            }
        }
    }
}

TEST(GrayScale, FullScaleFlatFieldsStayFullScale) {
    ScopedBitmap deep;
    ASSERT_EQ(Create(deep, 3, 2, 16, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_FillBitmap(deep.get(), COLOR_GRAY16_MARKER | 0xFFFF), SUCCESS);
    ASSERT_EQ(L_GrayScaleBitmap(deep.get(), 12), SUCCESS);
    EXPECT_EQ(Stored(*deep, 1, 2), 4095u);
    ASSERT_EQ(L_GrayScaleBitmap(deep.get(), 16), SUCCESS);
    EXPECT_EQ(Stored(*deep, 1, 2), 65535u);
    ScopedBitmap white;
    ASSERT_EQ(Create(white, 3, 2, 24, ORDER_BGR), SUCCESS);
    ASSERT_EQ(L_FillBitmap(white.get(), 0xFFFFFF), SUCCESS);
    ASSERT_EQ(L_GrayScaleBitmap(white.get(), 16), SUCCESS);
    EXPECT_EQ(Stored(*white, 0, 0), 65535u);
}

}  // namespace
