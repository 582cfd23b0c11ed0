// Grey-scale classification, sample statistics and inversion.
#include "tests/engine/TestBitmaps.h"

using namespace enginetest;

namespace {

RGBQUAD Grey(int level) {
    const auto v = static_cast<std::uint8_t>(level);
    return RGBQUAD{v, v, v, 0};
}

}  // namespace

TEST(Analysis, GreyScaleClassification) {
    RGBQUAD descending[256], shuffled[256], coloured[256];
    for (int i = 0; i < 256; ++i) {
        descending[i] = Grey(255 - i);
        shuffled[i] = Grey((i * 7) % 256);
        coloured[i] = Grey(i);
    }
    coloured[77].rgbRed = 1;
    const RGBQUAD oneBitInverse[2] = {Grey(255), Grey(0)};
    const struct {
        unsigned bits, order;
        const RGBQUAD* palette;
        int expected;
    } cases[] = {
        {8, ORDER_GRAY, nullptr, GRAY_ORDEREDNORMAL},
        {4, ORDER_GRAY, nullptr, GRAY_ORDEREDNORMAL},
        {1, ORDER_GRAY, nullptr, GRAY_ORDEREDNORMAL},
        {12, ORDER_GRAY, nullptr, GRAY_ORDEREDNORMAL},
        {16, ORDER_GRAY, nullptr, GRAY_ORDEREDNORMAL},
        {8, ORDER_BGR, descending, GRAY_ORDEREDINVERSE},
        {1, ORDER_BGR, oneBitInverse, GRAY_ORDEREDINVERSE},
        {8, ORDER_BGR, shuffled, GRAY_NOTORDERED},
        {8, ORDER_BGR, coloured, GRAY_NO},
        {16, ORDER_BGR, nullptr, GRAY_NO},
        {24, ORDER_BGR, nullptr, GRAY_NO},
        {32, ORDER_RGB, nullptr, GRAY_NO},
    };
    for (const auto& c : cases) {
        ScopedBitmap bitmap;
        ASSERT_EQ(Create(bitmap, 3, 3, c.bits, c.order, c.palette), SUCCESS);
        EXPECT_EQ(L_IsGrayScaleBitmap(bitmap.get()), c.expected) << c.bits << " bits";
    }
    ScopedBitmap empty;
    EXPECT_EQ(L_IsGrayScaleBitmap(empty.get()), GRAY_NO);
    EXPECT_EQ(L_IsGrayScaleBitmap(nullptr), GRAY_NO);
}

TEST(Analysis, MinMaxBitsSpanTheSetBits) {
    ScopedBitmap grey12, grey16, grey8, colour;
    int low = -1, high = -1;
    ASSERT_EQ(Create(grey12, 3, 3, 12, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_GetMinMaxBits(grey12.get(), &low, &high), SUCCESS);
    EXPECT_EQ(low, 0) << "all-zero image";
    EXPECT_EQ(high, 0);
    Store(*grey12, 0, 0, 0x010);
    Store(*grey12, 2, 2, 0xF00);
    Store(*grey12, 1, 1, 0x800);
    ASSERT_EQ(L_GetMinMaxBits(grey12.get(), &low, &high), SUCCESS);
    EXPECT_EQ(low, 4);
    EXPECT_EQ(high, 11);

    ASSERT_EQ(Create(grey16, 5, 1, 16, ORDER_GRAY), SUCCESS);
    Store(*grey16, 0, 4, 0x8000);
    ASSERT_EQ(L_GetMinMaxBits(grey16.get(), &low, &high), SUCCESS);
    EXPECT_EQ(low, 15);
    EXPECT_EQ(high, 15);

    ASSERT_EQ(Create(grey8, 5, 1, 8, ORDER_GRAY), SUCCESS);
    Store(*grey8, 0, 1, 2);
    Store(*grey8, 0, 3, 64);
    ASSERT_EQ(L_GetMinMaxBits(grey8.get(), &low, &high), SUCCESS);
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 6);

    ASSERT_EQ(Create(colour, 5, 1, 24, ORDER_BGR), SUCCESS);
    EXPECT_EQ(L_GetMinMaxBits(colour.get(), &low, &high), ERROR_BITPERPIXEL);
    EXPECT_EQ(L_GetMinMaxBits(grey8.get(), nullptr, &high), ERROR_INV_PARAMETER);
}

// Minimum and maximum against a plain scan of the decoded pixels.
TEST(Analysis, MinMaxValuesMatchAScanOfEveryChannel) {
    for (const Format& format : AllFormats()) {
        for (const Size& size : OddSizes()) {
            TestImage image(format, size.width, size.height, 17);
            int expectedLow = INT32_MAX, expectedHigh = INT32_MIN;
            for (int row = 0; row < size.height; ++row) {
                for (int col = 0; col < size.width; ++col) {
                    const std::uint32_t colour = L_GetPixelColor(image.get(), row, col);
                    std::vector<int> channels;
                    if (colour & COLOR_GRAY16_MARKER) {
                        channels = {int(colour & 0xFFFF)};
                    } else if (format.bits == 16) {  // 5-bit channels
                        const std::uint32_t v = Stored(*image, row, col);
                        channels = {int(v >> 10 & 31), int(v >> 5 & 31), int(v & 31)};
                    } else {
                        channels = {int(colour & 0xFF), int(colour >> 8 & 0xFF),
                                    int(colour >> 16 & 0xFF)};
                    }
                    for (int v : channels) {
                        expectedLow = std::min(expectedLow, v);
                        expectedHigh = std::max(expectedHigh, v);
                    }
                }
            }
            int low = -1, high = -1;
            ASSERT_EQ(L_GetMinMaxVal(image.get(), &low, &high), SUCCESS);
            EXPECT_EQ(low, expectedLow) << Describe(format, size.width, size.height);
            EXPECT_EQ(high, expectedHigh) << Describe(format, size.width, size.height);
        }
    }
    ScopedBitmap empty;
    int low, high;
    EXPECT_EQ(L_GetMinMaxVal(empty.get(), &low, &high), ERROR_NO_BITMAP);
}

// The displayed result of an inversion is the negative, whatever the format stores.
TEST(Analysis, InvertGivesTheNegativeAtEveryDepth) {
    for (const Format& format : AllFormats()) {
        for (const Size& size : OddSizes()) {
            const std::string what = Describe(format, size.width, size.height);
            TestImage image(format, size.width, size.height, 23);
            std::vector<std::uint32_t> colours, stored = Snapshot(*image);
            for (int row = 0; row < size.height; ++row) {
                for (int col = 0; col < size.width; ++col) {
                    colours.push_back(L_GetPixelColor(image.get(), row, col));
                }
            }
            ASSERT_EQ(L_InvertBitmap(image.get()), SUCCESS) << what;
            for (int row = 0, i = 0; row < size.height; ++row) {
                for (int col = 0; col < size.width; ++col, ++i) {
                    const std::uint32_t was = colours[i];
                    std::uint32_t expected = 0x00FFFFFFu ^ was;
                    if (format.bits == 12) expected = COLOR_GRAY16_MARKER | (4095 - (was & 0xFFFF));
                    if (format.bits == 16 && format.order == ORDER_GRAY) {
                        expected = COLOR_GRAY16_MARKER | (65535 - (was & 0xFFFF));
                    }
                    if (format.bits == 16 && format.order != ORDER_GRAY) {
                        expected = Stored(*image, row, col) ^ 0x7FFF;  // each 5-bit channel
                        ASSERT_EQ(expected, stored[i]) << what;
                        continue;
                    }
                    ASSERT_EQ(L_GetPixelColor(image.get(), row, col), expected) << what;
                    if (format.bits == 32) {
                        ASSERT_EQ(Stored(*image, row, col) >> 24, stored[i] >> 24) << "4th byte";
                    }
                }
            }
            EXPECT_TRUE(PaddingIsZero(*image)) << what;
            ASSERT_EQ(L_InvertBitmap(image.get()), SUCCESS);
            EXPECT_EQ(Snapshot(*image), stored) << "inverting twice restores: " << what;
        }
    }
}

TEST(Analysis, InvertOfColourPaletteImagesInvertsThePalette) {
    RGBQUAD palette[16] = {};
    for (int i = 0; i < 16; ++i) palette[i] = RGBQUAD{std::uint8_t(i * 16), 40, 200, 0};
    ScopedBitmap four;
    ASSERT_EQ(Create(four, 3, 1, 4, ORDER_BGR, palette), SUCCESS);
    Store(*four, 0, 1, 5);
    ASSERT_EQ(L_InvertBitmap(four.get()), SUCCESS);
    EXPECT_EQ(Stored(*four, 0, 1), 5u);
    EXPECT_EQ(L_GetPixelColor(four.get(), 0, 1), Rgb(255 - 200, 255 - 40, 255 - 80));
}

TEST(Analysis, InvertOfFullScaleFlatFieldsStaysInRange) {
    ScopedBitmap grey16;
    ASSERT_EQ(Create(grey16, 7, 3, 16, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_FillBitmap(grey16.get(), COLOR_GRAY16_MARKER | 0xFFFF), SUCCESS);
    ASSERT_EQ(L_InvertBitmap(grey16.get()), SUCCESS);
    int low = -1, high = -1;
    ASSERT_EQ(L_GetMinMaxVal(grey16.get(), &low, &high), SUCCESS);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 0);
    ASSERT_EQ(L_InvertBitmap(grey16.get()), SUCCESS);
    ASSERT_EQ(L_GetMinMaxVal(grey16.get(), &low, &high), SUCCESS);
    EXPECT_EQ(low, 65535);
    EXPECT_EQ(high, 65535);
    EXPECT_EQ(L_InvertBitmap(nullptr), ERROR_NO_BITMAP);
}
