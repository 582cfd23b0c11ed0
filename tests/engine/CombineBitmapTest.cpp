// Combining one bitmap's rectangle into another: the plain copy across depths, orders and view
// perspectives, clipping, every operation and modifier, and the fast copy of matching formats
// checked bit for bit against the converting path.
#include <cstring>

#include "engine/kernel/Combine.h"
#include "tests/engine/TestBitmaps.h"

using namespace enginetest;

namespace {

std::vector<std::uint8_t> Memory(const BITMAPHANDLE& b) {
    return {b.Addr, b.Addr + static_cast<std::size_t>(b.BytesPerLine) * b.Height};
}

int CopyAll(BITMAPHANDLE& destination, const BITMAPHANDLE& source) {
    return L_CombineBitmap(&destination, 0, 0, DisplayedWidth(destination),
                           DisplayedHeight(destination), &source, 0, 0, COMBINE_COPY);
}

// One 1 × 1 grey combination: s into d at the given depth.
std::uint32_t Combined(int bits, std::uint32_t s, std::uint32_t d, unsigned flags) {
    ScopedBitmap source, destination;
    EXPECT_EQ(Create(source, 1, 1, bits, ORDER_GRAY), SUCCESS);
    EXPECT_EQ(Create(destination, 1, 1, bits, ORDER_GRAY), SUCCESS);
    Store(*source, 0, 0, s);
    Store(*destination, 0, 0, d);
    EXPECT_EQ(L_CombineBitmap(destination.get(), 0, 0, 1, 1, source.get(), 0, 0, flags), SUCCESS);
    return Stored(*destination, 0, 0);
}

}  // namespace

TEST(CombineBitmap, CopiesGreyAcrossDepthsByExactRescaling) {
    struct Case {
        int from, to;
        std::uint32_t value, expected;
    };
    const Case cases[] = {
        {16, 16, 54321, 54321}, {12, 16, 0, 0},        {12, 16, 1, 16},     {12, 16, 2048, 32776},
        {12, 16, 4095, 65535},  {16, 12, 65535, 4095}, {16, 12, 9, 1},      {16, 12, 8, 0},
        {16, 8, 128, 0},        {16, 8, 129, 1},       {16, 8, 65535, 255}, {8, 16, 255, 65535},
        {8, 16, 1, 257},        {8, 12, 128, 2056},    {12, 8, 2056, 128},  {12, 12, 4095, 4095},
    };
    for (const Case& c : cases) {
        ScopedBitmap source, destination;
        ASSERT_EQ(Create(source, 1, 1, c.from, ORDER_GRAY), SUCCESS);
        ASSERT_EQ(Create(destination, 1, 1, c.to, ORDER_GRAY), SUCCESS);
        Store(*source, 0, 0, c.value);
        ASSERT_EQ(CopyAll(*destination, *source), SUCCESS);
        EXPECT_EQ(Stored(*destination, 0, 0), c.expected)
            << c.from << " -> " << c.to << " of " << c.value;
    }

    // A 12-bit destination never takes more than 4095, even from out-of-range source words.
    ScopedBitmap wild, twelve;
    ASSERT_EQ(Create(wild, 2, 1, 12, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(Create(twelve, 2, 1, 12, ORDER_GRAY), SUCCESS);
    const std::uint16_t words[2] = {0xFFFF, 5000};
    std::memcpy(wild->Addr, words, sizeof words);
    ASSERT_EQ(CopyAll(*twelve, *wild), SUCCESS);
    EXPECT_EQ(Stored(*twelve, 0, 0), 4095u);
    EXPECT_EQ(Stored(*twelve, 0, 1), 4095u);
    EXPECT_EQ(Combined(12, 4000, 4000, COMBINE_OP_ADD), 4095u);
}

TEST(CombineBitmap, CopiesBetweenGreyAndColourAndColourOrders) {
    TestImage grey({8, ORDER_GRAY, "8"}, 5, 3, 2);
    ScopedBitmap colour;
    ASSERT_EQ(Create(colour, 5, 3, 24, ORDER_RGB), SUCCESS);
    ASSERT_EQ(CopyAll(*colour, *grey), SUCCESS);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 5; ++col) {
            const std::uint32_t g = Stored(*grey, row, col);
            ASSERT_EQ(L_GetPixelColor(colour.get(), row, col), Rgb(g, g, g));
        }
    }

    TestImage bgr({24, ORDER_BGR, "24bgr"}, 5, 3, 4);
    ASSERT_EQ(CopyAll(*colour, *bgr), SUCCESS);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 5; ++col) {
            ASSERT_EQ(L_GetPixelColor(colour.get(), row, col),
                      L_GetPixelColor(bgr.get(), row, col));
        }
    }

    // Colour into grey by luma; into a two-colour palette by the nearest entry.
    ScopedBitmap level, bilevel;
    ASSERT_EQ(Create(level, 5, 3, 16, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(CopyAll(*level, *bgr), SUCCESS);
    const std::uint32_t c = L_GetPixelColor(bgr.get(), 2, 4);
    const std::uint32_t luma =
        (299 * (c & 0xFF) + 587 * ((c >> 8) & 0xFF) + 114 * (c >> 16) + 500) / 1000;
    EXPECT_EQ(Stored(*level, 2, 4), luma * 257);
    const RGBQUAD redAndBlue[2] = {{0, 0, 255, 0}, {255, 0, 0, 0}};
    ASSERT_EQ(Create(bilevel, 2, 1, 1, ORDER_BGR, redAndBlue), SUCCESS);
    ScopedBitmap two;
    ASSERT_EQ(Create(two, 2, 1, 24, ORDER_BGR), SUCCESS);
    L_PutPixelColor(two.get(), 0, 0, Rgb(20, 10, 200));
    L_PutPixelColor(two.get(), 0, 1, Rgb(180, 90, 60));
    ASSERT_EQ(CopyAll(*bilevel, *two), SUCCESS);
    EXPECT_EQ(Stored(*bilevel, 0, 0), 1u);
    EXPECT_EQ(Stored(*bilevel, 0, 1), 0u);
}

TEST(CombineBitmap, PlacesPixelsByDisplayedCoordinatesOfEachBitmap) {
    TestImage source({16, ORDER_GRAY, "16"}, 5, 3, 6);
    for (int from = TOP_LEFT; from <= LEFT_BOTTOM; ++from) {
        for (int to = TOP_LEFT; to <= LEFT_BOTTOM; ++to) {
            source->ViewPerspective = from;
            TestImage destination({16, ORDER_GRAY, "16"}, 6, 7, 7);
            destination->ViewPerspective = to;
            const auto before = DisplayedImage(*destination);
            // A 2 × 2 block from displayed (1, 1) of the source to displayed (3, 2).
            ASSERT_EQ(
                L_CombineBitmap(destination.get(), 3, 2, 2, 2, source.get(), 1, 1, COMBINE_COPY),
                SUCCESS);
            const int width = DisplayedWidth(*destination);
            for (int y = 0; y < DisplayedHeight(*destination); ++y) {
                for (int x = 0; x < width; ++x) {
                    const bool inside = x >= 3 && x < 5 && y >= 2 && y < 4;
                    const std::uint32_t expected =
                        inside ? Displayed(*source, x - 2, y - 1) : before[y * width + x];
                    ASSERT_EQ(Displayed(*destination, x, y), expected)
                        << from << " -> " << to << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(CombineBitmap, CutsTheRectangleToBothBitmaps) {
    // The source shorter than the rectangle: its rows are taken, the rest stays.
    TestImage source({24, ORDER_BGR, "24"}, 4, 2, 12);
    TestImage destination({24, ORDER_BGR, "24"}, 4, 5, 13);
    auto expected = Snapshot(*destination);
    ASSERT_EQ(L_CombineBitmap(destination.get(), 0, 0, 4, 5, source.get(), 0, 0, COMBINE_COPY),
              SUCCESS);
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 4; ++col) expected[row * 4 + col] = Stored(*source, row, col);
    }
    EXPECT_EQ(Snapshot(*destination), expected);

    // Negative positions cut from the left and top of both.
    ASSERT_EQ(L_CombineBitmap(destination.get(), -1, 2, 10, 10, source.get(), 0, -1, COMBINE_COPY),
              SUCCESS);
    // Source (1, 0) lands at destination (0, 3): shifted by one column and one row.
    for (int col = 0; col < 3; ++col) expected[3 * 4 + col] = Stored(*source, 0, col + 1);
    for (int col = 0; col < 3; ++col) expected[4 * 4 + col] = Stored(*source, 1, col + 1);
    EXPECT_EQ(Snapshot(*destination), expected);

    // Wholly outside, or empty: nothing changes and that is no failure.
    EXPECT_EQ(L_CombineBitmap(destination.get(), 4, 0, 3, 3, source.get(), 0, 0, COMBINE_COPY),
              SUCCESS);
    EXPECT_EQ(L_CombineBitmap(destination.get(), 0, 0, 3, 3, source.get(), 0, 2, COMBINE_COPY),
              SUCCESS);
    EXPECT_EQ(L_CombineBitmap(destination.get(), 0, 0, 0, 3, source.get(), 0, 0, COMBINE_COPY),
              SUCCESS);
    EXPECT_EQ(L_CombineBitmap(destination.get(), INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX,
                              source.get(), INT32_MAX, 0, COMBINE_COPY),
              SUCCESS);
    EXPECT_EQ(Snapshot(*destination), expected);

    EXPECT_EQ(L_CombineBitmap(destination.get(), 0, 0, -1, 3, source.get(), 0, 0, COMBINE_COPY),
              ERROR_INV_PARAMETER);
    EXPECT_EQ(L_CombineBitmap(destination.get(), 0, 0, 1, 1, source.get(), 0, 0, 0x0004),
              ERROR_INV_PARAMETER);
    EXPECT_EQ(L_CombineBitmap(destination.get(), 0, 0, 1, 1, source.get(), 0, 0, 0x0C00),
              ERROR_INV_PARAMETER);
    EXPECT_EQ(L_CombineBitmap(destination.get(), 0, 0, 1, 1, source.get(), 0, 0, 0x2000),
              ERROR_INV_PARAMETER);
    EXPECT_EQ(L_CombineBitmap(destination.get(), 0, 0, 1, 1, nullptr, 0, 0, COMBINE_COPY),
              ERROR_NO_BITMAP);
    ScopedBitmap empty;
    EXPECT_EQ(L_CombineBitmap(empty.get(), 0, 0, 1, 1, source.get(), 0, 0, COMBINE_COPY),
              ERROR_NO_BITMAP);
    EXPECT_EQ(Snapshot(*destination), expected);
}

TEST(CombineBitmap, EveryOperationAndModifierAt8And16Bits) {
    struct Case {
        unsigned flags;
        std::uint32_t s, d;
        std::uint32_t expected8;  // at 16 bits: the same case with every value × 257
    };
    const Case cases[] = {
        {COMBINE_OP_AND, 0xF0, 0x3C, 0x30},
        {COMBINE_OP_OR, 0xF0, 0x3C, 0xFC},
        {COMBINE_OP_XOR, 0xF0, 0x3C, 0xCC},
        {COMBINE_OP_ADD, 100, 50, 150},
        {COMBINE_OP_ADD, 200, 100, 255},
        {COMBINE_OP_SUB_SRC, 100, 30, 70},
        {COMBINE_OP_SUB_SRC, 30, 100, 0},
        {COMBINE_OP_SUB_DST, 30, 100, 70},
        {COMBINE_OP_SUB_DST, 100, 30, 0},
        {COMBINE_OP_MULTIPLY, 255, 77, 77},
        {COMBINE_OP_MULTIPLY, 0, 77, 0},
        {COMBINE_OP_DIVIDE, 255, 77, 77},
        {COMBINE_OP_DIVIDE, 10, 200, 255},
        {COMBINE_OP_DIVIDE, 0, 5, 255},
        {COMBINE_OP_DIVIDE, 0, 0, 0},
        {COMBINE_OP_AVERAGE, 10, 20, 15},
        {COMBINE_OP_MIN, 10, 20, 10},
        {COMBINE_OP_MAX, 10, 20, 20},
        {COMBINE_OP_DIFFERENCE, 10, 200, 190},
        {COMBINE_OP_DIFFERENCE, 200, 10, 190},
        {COMBINE_SRC_INVERT | COMBINE_DST_ZERO | COMBINE_OP_ADD, 55, 99, 200},
        {COMBINE_SRC_ZERO | COMBINE_OP_OR, 55, 99, 99},
        {COMBINE_SRC_MAX | COMBINE_OP_AND, 55, 99, 99},
        {COMBINE_DST_INVERT | COMBINE_OP_ADD, 0, 5, 250},
        {COMBINE_DST_MAX | COMBINE_OP_MIN, 70, 5, 70},
        {COMBINE_COPY | COMBINE_RESULT_INVERT, 70, 5, 185},
        {COMBINE_COPY, 70, 5, 70},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Combined(8, c.s, c.d, c.flags), c.expected8) << std::hex << c.flags;
        EXPECT_EQ(Combined(16, c.s * 257, c.d * 257, c.flags), c.expected8 * 257)
            << std::hex << c.flags;
    }
    // Rounding at 16 bits.
    EXPECT_EQ(Combined(16, 32768, 3, COMBINE_OP_MULTIPLY), 2u);  // 1.50002
    EXPECT_EQ(Combined(16, 3, 4, COMBINE_OP_AVERAGE), 4u);       // halves up
    EXPECT_EQ(Combined(16, 3, 1, COMBINE_OP_DIVIDE), 21845u);    // 65535 / 3

    // Colour works per channel; 32-bit pixels keep their fourth byte.
    ScopedBitmap source, destination;
    ASSERT_EQ(Create(source, 1, 1, 24, ORDER_RGB), SUCCESS);
    ASSERT_EQ(Create(destination, 1, 1, 32, ORDER_BGR), SUCCESS);
    L_PutPixelColor(source.get(), 0, 0, Rgb(10, 200, 100));
    Store(*destination, 0, 0, 0xAB000000u | 50 << 16 | 100 << 8 | 150);  // B 150, G 100, R 50
    ASSERT_EQ(L_CombineBitmap(destination.get(), 0, 0, 1, 1, source.get(), 0, 0, COMBINE_OP_ADD),
              SUCCESS);
    EXPECT_EQ(Stored(*destination, 0, 0), 0xAB000000u | 60u << 16 | 255u << 8 | 250u);
}

TEST(CombineBitmap, OverlappingRectanglesOfOneBitmapReadTheSourceAsItWas) {
    for (const Format format : {Format{16, ORDER_GRAY, "16"}, Format{24, ORDER_RGB, "24rgb"}}) {
        TestImage image(format, 6, 5, 30);
        const auto before = Snapshot(*image);
        ASSERT_EQ(L_CombineBitmap(image.get(), 1, 1, 5, 4, image.get(), 0, 0, COMBINE_COPY),
                  SUCCESS);
        for (int row = 0; row < 5; ++row) {
            for (int col = 0; col < 6; ++col) {
                const std::uint32_t expected =
                    row >= 1 && col >= 1 ? before[(row - 1) * 6 + col - 1] : before[row * 6 + col];
                ASSERT_EQ(Stored(*image, row, col), expected) << format.name;
            }
        }
        // Another record of the same storage counts as the same bitmap.
        const auto shifted = Snapshot(*image);
        BITMAPHANDLE alias = *image;
        ASSERT_EQ(L_CombineBitmap(&alias, 0, 0, 5, 4, image.get(), 1, 1, COMBINE_COPY), SUCCESS);
        for (int row = 0; row < 5; ++row) {
            for (int col = 0; col < 6; ++col) {
                const std::uint32_t expected =
                    row < 4 && col < 5 ? shifted[(row + 1) * 6 + col + 1] : shifted[row * 6 + col];
                ASSERT_EQ(Stored(*image, row, col), expected) << format.name;
            }
        }
    }
}

TEST(CombineBitmap, FastCopyEqualsTheConvertingPath) {
    for (const Format& format : AllFormats()) {
        if (format.bits < 8) continue;  // packed indices always take the converting path
        for (const Size& size : OddSizes()) {
            for (int perspective : {TOP_LEFT, BOTTOM_RIGHT, LEFT_TOP, RIGHT_BOTTOM}) {
                const std::string what = Describe(format, size.width, size.height) +
                                         " perspective " + std::to_string(perspective);
                TestImage source(format, size.width, size.height, 50);
                TestImage fast(format, size.width + 2, size.height + 1, 51);
                TestImage reference(format, size.width + 2, size.height + 1, 51);
                if (format.bits == 12) {
                    // Out-of-range words must be clamped the same way on both paths.
                    reinterpret_cast<std::uint16_t*>(source->Addr)[0] = 0xF123;
                }
                source->ViewPerspective = perspective;
                for (const auto& [x, y] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{2, 0}}) {
                    ASSERT_EQ(
                        L_CombineBitmap(fast.get(), x, y, 9, 9, source.get(), 0, 0, COMBINE_COPY),
                        SUCCESS);
                    ASSERT_EQ(engine::CombineBitmapConverted(reference.get(), x, y, 9, 9,
                                                             source.get(), 0, 0, COMBINE_COPY),
                              SUCCESS);
                    ASSERT_EQ(Memory(*fast), Memory(*reference)) << what;
                }
                EXPECT_TRUE(PaddingIsZero(*fast)) << what;
            }
        }
    }
    // A flat full-scale field stays full scale.
    ScopedBitmap full, copy;
    ASSERT_EQ(Create(full, 3, 3, 16, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(Create(copy, 3, 3, 16, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_FillBitmap(full.get(), COLOR_GRAY16_MARKER | 0xFFFF), SUCCESS);
    ASSERT_EQ(CopyAll(*copy, *full), SUCCESS);
    EXPECT_EQ(Snapshot(*copy), std::vector<std::uint32_t>(9, 65535));
}
