#include "processing/VexoUnsharpMask.h"
#include "tests/processing/ProcessingFixture.h"

using proctest::OwnedImage;

TEST(UnsharpMask, FractionZeroOnlyStretches) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    SHORT value = 0;
    // Range of 1: the top maps to 65535 × 1 / 1.01, rounded.
    proctest::SetImage16(impl, 3, 2, [](int x, int) { return x == 1 ? 501 : 500; });
    EXPECT_EQ(control->UnsharpMask(0, 3, &value), S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(proctest::Pixel(impl, 0, 0), 0);
    EXPECT_EQ(proctest::Pixel(impl, 1, 0), 64886);
    // 12-bit range: the top reaches full scale.
    proctest::SetImage16(impl, 5, 3, [](int x, int y) { return (x + y) % 2 ? 4095 : 0; });
    EXPECT_EQ(control->UnsharpMask(0, 3, &value), S_OK);
    EXPECT_EQ(proctest::Pixel(impl, 1, 0), 65535);
    EXPECT_EQ(proctest::Pixel(impl, 0, 0), 0);
}

TEST(UnsharpMask, HalfFractionIsTwiceThePixelMinusTheMean) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    std::mt19937 random(7);
    proctest::SetImage16(impl, 7, 5, [&](int, int) { return random() % 65536; });
    // Expected: stretch, then 2v − b against our own box mean, clamped.
    OwnedImage stretched(7, 5);
    stretched.Fill([&](int x, int y) { return proctest::Pixel(impl, x, y); });
    vexo::StretchToFullRangeReference(stretched.view());
    SHORT value = 0;
    ASSERT_EQ(control->UnsharpMask(5, 3, &value), S_OK);
    ASSERT_EQ(value, 1);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            std::uint64_t sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    sum += stretched.at(std::clamp(x + dx, 0, 6), std::clamp(y + dy, 0, 4));
            const long mean = static_cast<long>((sum + 4) / 9);
            const long expected = std::clamp(2L * stretched.at(x, y) - mean, 0L, 65535L);
            EXPECT_EQ(proctest::Pixel(impl, x, y), expected) << x << "," << y;
        }
    }
}

TEST(UnsharpMask, RefusesOutOfRangeArgumentsAndOtherDepths) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    proctest::SetImage16(impl, 4, 4, [](int x, int y) { return 100 + x * 10 + y; });
    for (const auto& [fract, radius] :
         std::vector<std::pair<LONG, LONG>>{{256, 3}, {-1, 3}, {10, 3}, {5, 32768}, {5, -32769}}) {
        SHORT value = 7;
        EXPECT_EQ(control->UnsharpMask(fract, radius, &value), S_OK);
        EXPECT_EQ(value, -1) << fract << " " << radius;
        EXPECT_EQ(proctest::Pixel(impl, 3, 3), 133);
    }
    L_FreeBitmap(&impl.CurrentBitmap);
    ASSERT_EQ(L_CreateBitmap(&impl.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 4, 4, 24,
                             ORDER_BGR, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    SHORT value = 7;
    EXPECT_EQ(control->UnsharpMask(5, 3, &value), S_OK);
    EXPECT_EQ(value, 0);
}

TEST(UnsharpMask, FastPathsMatchReferencesBitForBit) {
    std::mt19937 random(99);
    for (const auto& size : proctest::OddSizes()) {
        OwnedImage fast(size.width, size.height), plain(size.width, size.height);
        fast.Fill([&](int, int) { return 1000 + random() % 3000; });
        plain.Fill([&](int x, int y) { return fast.at(x, y); });
        vexo::StretchToFullRange(fast.view());
        vexo::StretchToFullRangeReference(plain.view());
        ASSERT_EQ(fast.memory(), plain.memory());
        EXPECT_TRUE(fast.PaddingIntact());

        OwnedImage blurred(size.width, size.height);
        // Even fractions give exact halves (N / D with D even), where the extended evaluation
        // decides; odd ones never do.
        for (const int fract : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 20, 37, 100, 254, 255}) {
            // Blurred values near the pixels so that quotients land on and near halves.
            blurred.Fill([&](int x, int y) {
                return std::clamp<int>(fast.at(x, y) + static_cast<int>(random() % 7) - 3, 0,
                                       65535);
            });
            OwnedImage a(size.width, size.height), b(size.width, size.height);
            a.Fill([&](int x, int y) { return random() % 2 ? fast.at(x, y) : random() % 65536; });
            b.Fill([&](int x, int y) { return a.at(x, y); });
            vexo::SubtractBlurred(a.view(), blurred.view(), fract);
            vexo::SubtractBlurredReference(b.view(), blurred.view(), fract);
            ASSERT_EQ(a.memory(), b.memory()) << "fract " << fract;
        }
    }
}

// The fused stretch, box mean and subtraction against the engine's copy and average filter,
// over the sizes it takes (1 … 255, vector lanes up to 181) and those it leaves to the engine.
TEST(UnsharpMask, FusedBoxMeanMatchesTheEngineRoute) {
    std::mt19937 random(31);
    const auto makeBitmap = [](ScopedBitmap& bitmap, int width, int height) {
        ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height,
                                 16, ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
                  SUCCESS);
    };
    for (const auto& size : proctest::OddSizes()) {
        for (const int radius : {1, 2, 3, 4, 5, 8, 17, 181, 182, 255, 256, 0, -3}) {
            for (const int fract : {0, 2, 5, 6, 9, 11, 12, 255}) {
                ScopedBitmap fast, plain;
                makeBitmap(fast, size.width, size.height);
                makeBitmap(plain, size.width, size.height);
                const int base = static_cast<int>(random() % 60000),
                          spread = 1 + static_cast<int>(random() % 5000);
                for (std::uint64_t i = 0; i < fast->Size / 2; ++i) {
                    const auto v = static_cast<std::uint16_t>(base + random() % spread);
                    std::memcpy(fast->Addr + 2 * i, &v, 2);
                    std::memcpy(plain->Addr + 2 * i, &v, 2);
                }
                ASSERT_TRUE(vexo::ApplyUnsharpMask(fast.get(), fract, radius));
                ASSERT_TRUE(vexo::ApplyUnsharpMaskReference(plain.get(), fract, radius));
                ASSERT_EQ(0, std::memcmp(fast->Addr, plain->Addr, fast->Size))
                    << size.width << "x" << size.height << " radius " << radius << " fract "
                    << fract;
            }
        }
    }
}

// Box sums whose rounded mean is exactly a power of two: 49 × (1 / 49) falls below 1 in double,
// so a mean taken as a plain product and floor would come out one short. A full-range image
// stretches to itself, so the checkerboard of 1024 and 1023 reaches the mean unchanged.
TEST(UnsharpMask, FusedMeanIsExactWhereTheQuotientIsWhole) {
    ScopedBitmap fast, plain;
    for (ScopedBitmap* bitmap : {&fast, &plain}) {
        ASSERT_EQ(L_CreateBitmap(bitmap->get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 31, 9, 16,
                                 ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
                  SUCCESS);
        engine::PixelView image;
        ASSERT_TRUE(engine::AccessPixels16(bitmap->get(), &image));
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 31; ++x) image.Row16(y)[x] = (x + y) % 2 ? 1023 : 1024;
        image.Row16(8)[30] = 0;
        image.Row16(8)[29] = 65535;
    }
    ASSERT_TRUE(vexo::ApplyUnsharpMask(fast.get(), 5, 7));
    ASSERT_TRUE(vexo::ApplyUnsharpMaskReference(plain.get(), 5, 7));
    engine::PixelView image;
    ASSERT_TRUE(engine::AccessPixels16(fast.get(), &image));
    EXPECT_EQ(image.Row16(4)[4], 2 * 1024 - 1024);  // window of 25 × 1024 and 24 × 1023
    EXPECT_EQ(0, std::memcmp(fast->Addr, plain->Addr, fast->Size));
}

TEST(UnsharpMask, OddWidthKeepsPaddingOutOfTheRange) {
    OwnedImage image(5, 3);
    image.Fill([](int x, int) { return 200 + x; });  // padding holds 0xBEEF, far above
    vexo::StretchToFullRange(image.view());
    EXPECT_EQ(image.at(0, 0), 0);
    EXPECT_EQ(image.at(4, 0), 65372);  // round(4 × 65535 / 4.01) = round(65371.57)
    EXPECT_TRUE(image.PaddingIntact());
}
