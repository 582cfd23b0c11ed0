#include "processing/ContrastOptimisation.h"
#include "tests/processing/ProcessingFixture.h"

using proctest::OwnedImage;

TEST(ContrastStretch, LinearAndSquareRootMapsHitTheirValues) {
    const auto linear = [](int v, int lo, int hi) { return contrast::StretchValue(v, lo, hi, 0); };
    const auto root = [](int v, int lo, int hi) { return contrast::StretchValue(v, lo, hi, 1); };
    EXPECT_EQ(linear(0, 0, 4095), 0);
    EXPECT_EQ(linear(1, 0, 4095), 16);
    EXPECT_EQ(linear(1000, 0, 4095), 16003);
    EXPECT_EQ(linear(4095, 0, 4095), 65535);
    EXPECT_EQ(root(0, 0, 4095), 1024);
    EXPECT_EQ(root(1, 0, 4095), 1024);
    EXPECT_EQ(root(1000, 0, 4095), 32385);
    EXPECT_EQ(root(4095, 0, 4095), 65535);
    EXPECT_EQ(linear(100, 100, 300), 0);
    EXPECT_EQ(linear(101, 100, 300), 327);
    EXPECT_EQ(linear(200, 100, 300), 32767);
    EXPECT_EQ(linear(299, 100, 300), 65207);
    EXPECT_EQ(linear(300, 100, 300), 65534);
    EXPECT_EQ(root(100, 100, 300), 4634);
    EXPECT_EQ(root(101, 100, 300), 4634);
    EXPECT_EQ(root(200, 100, 300), 46340);
    EXPECT_EQ(root(300, 100, 300), 65534);
}

TEST(ContrastStretch, TableMatchesPerValueEvaluation) {
    std::mt19937 random(5);
    for (const int method : {0, 1, -3}) {
        for (const auto& size : proctest::OddSizes()) {
            OwnedImage fast(size.width, size.height), plain(size.width, size.height);
            fast.Fill([&](int, int) { return random() % 65536; });
            plain.Fill([&](int x, int y) { return fast.at(x, y); });
            const std::uint16_t lo = static_cast<std::uint16_t>(random() % 30000);
            const std::uint16_t hi = static_cast<std::uint16_t>(lo + 1 + random() % 35000);
            contrast::Stretch(fast.view(), lo, hi, method);
            contrast::StretchReference(plain.view(), lo, hi, method);
            ASSERT_EQ(fast.memory(), plain.memory());
            EXPECT_TRUE(fast.PaddingIntact());
        }
    }
}

// The vector scan against the rule it implements, with limits inside, below and above the data.
TEST(ContrastStretch, ScanRangeFindsExtremesInsideTheLimits) {
    std::mt19937 random(8);
    for (const auto& size : proctest::OddSizes()) {
        for (int round = 0; round < 20; ++round) {
            OwnedImage image(size.width, size.height);
            image.Fill(
                [&](int, int) { return random() % 2 ? random() % 65536 : 30000 + random() % 900; });
            contrast::RangeState state;
            state.lowLimit = static_cast<std::uint16_t>(random() % 2 ? 30000 + random() % 1000
                                                                     : random() % 65536);
            state.highLimit = static_cast<std::uint16_t>(random() % 2 ? 30000 + random() % 1000
                                                                      : random() % 65536);
            int min = 65535, max = 0;
            for (int y = 0; y < size.height; ++y) {
                for (int x = 0; x < size.width; ++x) {
                    const int v = image.at(x, y);
                    if (v > max && v <= state.highLimit) max = v;
                    if (v < min && v >= state.lowLimit) min = v;
                }
            }
            contrast::ScanRange(image.view(), &state);
            ASSERT_EQ(state.min, min);
            ASSERT_EQ(state.max, max);
        }
    }
}

TEST(ContrastStretch, LowLimitCutsTheDarkEnd) {
    OwnedImage image(3, 1);
    image.Fill([](int x, int) { return x == 0 ? 1000 : x == 1 ? 1300 : 3000; });
    std::vector<std::pair<int, int>> ranges;
    ASSERT_TRUE(contrast::Optimize(image.view(), 10, 0, 0, [&](std::uint16_t lo, std::uint16_t hi) {
        ranges.emplace_back(lo, hi);
    }));
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0], std::make_pair(1000, 3000));
    EXPECT_EQ(ranges[1], std::make_pair(1300, 3000));  // smallest value at or above 1200
    EXPECT_EQ(image.at(0, 0), 0);                      // clamped to the new min
    EXPECT_EQ(image.at(1, 0), 0);
    EXPECT_EQ(image.at(2, 0), 65535);
    // A limit pushed past 65535 fails.
    EXPECT_FALSE(contrast::Optimize(image.view(), 1, -100, 0, [](auto, auto) {}));
}

TEST(OptimizeBuffer, ReportsRangesAndHandlesEmptyAndConstantBuffers) {
    auto control = NewControl();
    RecordingSink sink;
    Connection connection(control.get(), &sink);
    std::vector<std::uint16_t> buffer = {100, 300, 200, 101};
    LONG value = 7;
    EXPECT_EQ(control->OptimizeBuffer(reinterpret_cast<std::uintptr_t>(buffer.data()), 2, 2, 0, 0,
                                      0, 0, &value),
              S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(buffer, (std::vector<std::uint16_t>{0, 65534, 32767, 327}));
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].args[0], "TaxLumora.OptimizeBuffer, Range : 100 - 300");

    sink.events.clear();
    EXPECT_EQ(control->OptimizeBuffer(0, 0, 5, 0, 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(sink.events.at(0).args[0], "TaxLumora.OptimizeBuffer, Range : 65535 - 0");

    std::vector<std::uint16_t> constant(6, 777);
    EXPECT_EQ(control->OptimizeBuffer(reinterpret_cast<std::uintptr_t>(constant.data()), 3, 2, 0, 0,
                                      1, 0, &value),
              S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(constant, std::vector<std::uint16_t>(6, 777));

    // Sizes that cannot describe a buffer are refused without reading.
    EXPECT_EQ(control->OptimizeBuffer(0, 4, 4, 0, 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(control->OptimizeBuffer(reinterpret_cast<std::uintptr_t>(constant.data()), -3, -2, 0,
                                      0, 0, 0, &value),
              S_OK);
    EXPECT_EQ(value, 0);
}

TEST(OptimizeImage, StretchesInsideTheBitmapOnly) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    proctest::SetImage16(impl, 5, 3, [](int x, int y) { return x * 1000 + y; });
    const std::uint16_t padding = 0x4321;
    std::memcpy(impl.CurrentBitmap.Addr + 10, &padding, 2);
    LONG value = 7;
    EXPECT_EQ(control->OptimizeImage(nullptr, 0, 0, 0, 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(proctest::Pixel(impl, 0, 0), 0);
    EXPECT_EQ(proctest::Pixel(impl, 4, 2), 65535);
    std::uint16_t after;
    std::memcpy(&after, impl.CurrentBitmap.Addr + 10, 2);
    EXPECT_EQ(after, padding);
    // Larger than the image, or not 16 bits: refused.
    EXPECT_EQ(control->OptimizeImage(nullptr, 6, 3, 0, 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 0);
    L_FreeBitmap(&impl.CurrentBitmap);
    ASSERT_EQ(L_CreateBitmap(&impl.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 4, 4, 8,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    EXPECT_EQ(control->OptimizeImage(nullptr, 0, 0, 0, 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 0);
    // No image and no size: nothing to do, still done.
    L_FreeBitmap(&impl.CurrentBitmap);
    EXPECT_EQ(control->OptimizeImage(nullptr, 0, 0, 0, 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 1);
}
