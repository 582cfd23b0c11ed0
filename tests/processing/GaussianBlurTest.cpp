#include <cmath>
#include <limits>

#include "processing/VexoGaussianBlur.h"
#include "tests/processing/ProcessingFixture.h"

using proctest::OwnedImage;

TEST(BlurKernel, HalfWidthFollowsTheDeviation) {
    const std::pair<double, int> expected[] = {{0.5, 1}, {1, 2},   {1.5, 4}, {2, 5},    {3, 8},
                                               {5, 14},  {10, 30}, {50, 99}, {100, 99}, {1000, 99}};
    for (const auto& [sigma, half] : expected) {
        EXPECT_EQ(vexo::BuildBlurKernel(sigma, 255.0, 1.0).HalfWidth, half) << "sigma " << sigma;
    }
}

TEST(BlurKernel, WeightsAreNormalisedGaussians) {
    const vexo::BlurKernel narrow = vexo::BuildBlurKernel(0.5, 255.0, 1.0);
    EXPECT_NEAR(narrow.Weight(-1), 0.106507, 1e-6);
    EXPECT_NEAR(narrow.Weight(0), 0.786986, 1e-6);
    EXPECT_EQ(narrow.Weight(-1), narrow.Weight(1));
    const vexo::BlurKernel one = vexo::BuildBlurKernel(1.0, 255.0, 1.0);
    EXPECT_NEAR(one.Weight(0), 0.40262, 1e-5);
    // A negative deviation describes the same Gaussian.
    const vexo::BlurKernel negative = vexo::BuildBlurKernel(-3.0, 255.0, 1.0);
    const vexo::BlurKernel positive = vexo::BuildBlurKernel(3.0, 255.0, 1.0);
    EXPECT_EQ(negative.HalfWidth, positive.HalfWidth);
    EXPECT_EQ(0, std::memcmp(negative.Weights, positive.Weights, sizeof positive.Weights));
}

// The fast path may reorder and fuse the sums only where they are exact in double; the check
// must tell the narrow kernels apart, whose tail weights lie far below one level.
TEST(BlurKernel, SumsAreExactFromADeviationOfAQuarter) {
    for (const double sigma : {0.25, 0.3, 0.5, 1.0, 3.0, 10.0, 20.0, 50.0, 1000.0}) {
        EXPECT_TRUE(vexo::SumsExactInDouble(vexo::BuildBlurKernel(sigma, 255.0, 1.0))) << sigma;
    }
    for (const double sigma : {0.1, 0.2}) {
        EXPECT_FALSE(vexo::SumsExactInDouble(vexo::BuildBlurKernel(sigma, 255.0, 1.0))) << sigma;
    }
    // Weights whose sum could pass 65536 / 65535, or an asymmetric kernel, are not accepted.
    vexo::BlurKernel kernel = vexo::BuildBlurKernel(1.0, 255.0, 1.0);
    kernel.Weight(0) += 0.001f;
    EXPECT_FALSE(vexo::SumsExactInDouble(kernel));
    kernel = vexo::BuildBlurKernel(1.0, 255.0, 1.0);
    kernel.Weight(1) = kernel.Weight(-1) / 2;
    EXPECT_FALSE(vexo::SumsExactInDouble(kernel));
}

TEST(GaussianBlur, SinglePixelSpreadsOverItsNeighbourhoodAndTruncates) {
    for (const bool fast : {false, true}) {
        OwnedImage image(9, 9);
        image.Fill([](int x, int y) { return x == 4 && y == 4 ? 10000 : 0; });
        const vexo::BlurKernel kernel = vexo::BuildBlurKernel(1.0, 255.0, 1.0);
        // One row: only the horizontal pass spreads, then the vertical one sums a single row.
        OwnedImage row(9, 1);
        row.Fill([](int x, int) { return x == 4 ? 10000 : 0; });
        fast ? vexo::ApplyBlurKernel(row.view(), kernel)
             : vexo::ApplyBlurKernelReference(row.view(), kernel);
        EXPECT_NEAR(row.at(4, 0), 4026, 1);
        fast ? vexo::ApplyBlurKernel(image.view(), kernel)
             : vexo::ApplyBlurKernelReference(image.view(), kernel);
        EXPECT_EQ(image.at(4, 4), 1620);
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 9; ++x) {
                const bool inside = std::abs(x - 4) <= 2 && std::abs(y - 4) <= 2;
                EXPECT_EQ(image.at(x, y) != 0, inside) << x << "," << y;
            }
        }
        EXPECT_TRUE(image.PaddingIntact());
    }
}

TEST(GaussianBlur, FastPathMatchesReferenceBitForBit) {
    std::mt19937 random(1234);
    // 0.1 and 0.2 take the reference's route; 0.3 has the finest weights the fast path accepts.
    for (const double sigma : {0.1, 0.2, 0.3, 0.5, 1.0, 1.7, 3.0, 10.0, 100.0}) {
        const vexo::BlurKernel kernel = vexo::BuildBlurKernel(sigma, 255.0, 1.0);
        for (const auto& size : proctest::OddSizes()) {
            // Random full-range noise, dark noise (sums near small integers) and flat fields.
            for (int pattern = 0; pattern < 4; ++pattern) {
                OwnedImage fast(size.width, size.height), plain(size.width, size.height);
                const auto value = [&](int, int) -> std::uint16_t {
                    switch (pattern) {
                        case 0: return static_cast<std::uint16_t>(random());
                        case 1: return static_cast<std::uint16_t>(random() % 4);
                        case 2: return 65535;
                        default: return 1;
                    }
                };
                fast.Fill(value);
                for (int y = 0; y < size.height; ++y)
                    for (int x = 0; x < size.width; ++x) plain.at(x, y) = fast.at(x, y);
                vexo::ApplyBlurKernel(fast.view(), kernel);
                vexo::ApplyBlurKernelReference(plain.view(), kernel);
                ASSERT_EQ(fast.memory(), plain.memory())
                    << "sigma " << sigma << " size " << size.width << "x" << size.height
                    << " pattern " << pattern;
            }
        }
    }
}

TEST(GaussianBlur, FullScaleFlatFieldStaysBelowOrAtFullScale) {
    OwnedImage image(40, 30);
    image.Fill([](int, int) { return 65535; });
    vexo::ApplyBlurKernel(image.view(), vexo::BuildBlurKernel(3.0, 255.0, 1.0));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_GE(image.at(x, y), 65533);
}

TEST(GaussianBlurMember, ReportsItsOutcomeAndRefusesUndefinedDeviations) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    SHORT value = 7;
    // An 8-bit image is left alone.
    ASSERT_EQ(L_CreateBitmap(&impl.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 5, 5, 8,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    L_PutPixelColor(&impl.CurrentBitmap, 2, 2, 0xFFFFFF);
    EXPECT_EQ(control->GaussianBlur(1.0, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(L_GetPixelColor(&impl.CurrentBitmap, 2, 2), 0xFFFFFFu);

    proctest::SetImage16(impl, 9, 9, [](int x, int y) { return x == 4 && y == 4 ? 10000 : 0; });
    for (const double bad :
         {0.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        value = 7;
        EXPECT_EQ(control->GaussianBlur(bad, &value), S_OK);
        EXPECT_EQ(value, -1);
        EXPECT_EQ(proctest::Pixel(impl, 4, 4), 10000);
    }
    EXPECT_EQ(control->GaussianBlur(1.0, &value), S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(proctest::Pixel(impl, 4, 4), 1620);
}
