// Dithered colour resolution: flat fields keep their mean colour, conversions without dithering
// take the nearest colour, and the nearest-entry search answers as a search of every entry.
#include <array>
#include <cmath>

#include "engine/kernel/Dither.h"
#include "tests/engine/TestBitmaps.h"

using namespace enginetest;

namespace {

constexpr unsigned kAllKinds[] = {COLORRES_DITHER_FLOYD_STEINBERG, COLORRES_DITHER_STUCKI,
                                  COLORRES_DITHER_BURKES,          COLORRES_DITHER_SIERRA,
                                  COLORRES_DITHER_STEVENSON_ARCE,  COLORRES_DITHER_JARVIS,
                                  COLORRES_DITHER_ORDERED,         COLORRES_DITHER_CLUSTERED};

int ColorRes(BITMAPHANDLE& source, BITMAPHANDLE& destination, int bits, unsigned flags,
             unsigned kind) {
    return L_ColorResBitmap(&source, &destination, BITMAPHANDLE_STRUCT_SIZE, bits,
                            flags | (kind << COLORRES_DITHER_SHIFT), nullptr, nullptr, 0, nullptr,
                            nullptr);
}

std::uint32_t Channel(std::uint32_t colour, int c) { return (colour >> (8 * c)) & 0xFF; }

std::array<double, 3> MeanColour(const BITMAPHANDLE& b) {
    std::array<double, 3> sum{};
    for (int row = 0; row < b.Height; ++row) {
        for (int col = 0; col < b.Width; ++col) {
            const std::uint32_t colour = L_GetPixelColor(&b, row, col);
            for (int c = 0; c < 3; ++c) sum[c] += Channel(colour, c);
        }
    }
    for (double& s : sum) s /= static_cast<double>(b.Width) * b.Height;
    return sum;
}

double Luma(const std::array<double, 3>& colour) {
    return 0.299 * colour[0] + 0.587 * colour[1] + 0.114 * colour[2];
}

void Flat(ScopedBitmap& image, int width, int height, std::uint32_t colour) {
    ASSERT_EQ(Create(image, width, height, 24, ORDER_BGR), SUCCESS);
    ASSERT_EQ(L_FillBitmap(image.get(), colour), SUCCESS);
}

TEST(Dither, FlatFieldsKeepTheirMeanColour) {
    const std::uint32_t colour = Rgb(100, 150, 37);
    const std::array<double, 3> wanted = {100, 150, 37};
    ScopedBitmap field;
    Flat(field, 64, 48, colour);
    // Palette depths with the fixed palettes: the 8 × 8 × 4 cube, the 16 VGA colours (which span
    // the colour cube), black and white (which only hold the luma).
    for (int bits : {8, 4, 1}) {
        // The nearest entry alone is far off: the field is a real test.
        ScopedBitmap nearest;
        ASSERT_EQ(ColorRes(*field, *nearest, bits, COLORRES_FIXED_PALETTE, 0), SUCCESS);
        EXPECT_GT(std::abs(Luma(MeanColour(*nearest)) - Luma(wanted)), 4.0);
        for (unsigned kind : kAllKinds) {
            ScopedBitmap dithered;
            ASSERT_EQ(ColorRes(*field, *dithered, bits, COLORRES_FIXED_PALETTE, kind), SUCCESS);
            const std::array<double, 3> mean = MeanColour(*dithered);
            const std::string what = std::to_string(bits) + " bits, kind " + std::to_string(kind);
            if (bits == 1) {
                EXPECT_NEAR(Luma(mean), Luma(wanted), 2.0) << what;
                continue;
            }
            // Ordered dithering on the VGA colours, which form no grid, mixes 16 picks per pixel.
            const bool ordered = kind >= COLORRES_DITHER_ORDERED;
            const double tolerance = !ordered ? 2.5 : bits == 8 ? 1.5 : 6.0;
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(mean[c], wanted[c], tolerance) << what << " channel " << c;
            }
        }
    }
}

TEST(Dither, DeepGreyAndRgb555KeepTheirMean) {
    ScopedBitmap deep;
    ASSERT_EQ(Create(deep, 40, 30, 16, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_FillBitmap(deep.get(), COLOR_GRAY16_MARKER | 1000), SUCCESS);
    for (unsigned kind : kAllKinds) {
        ScopedBitmap twelve;
        ASSERT_EQ(ColorRes(*deep, *twelve, 12, COLORRES_BYTEORDER_GRAY, kind), SUCCESS);
        double sum = 0;
        for (std::uint32_t v : Snapshot(*twelve)) sum += v;
        EXPECT_NEAR(sum / (40 * 30) * 65535.0 / 4095.0, 1000.0, 2.0) << kind;
        // Below 8 bits the grey ramp of 16 levels steps by 17: dithering spreads 1000 / 257.
        ScopedBitmap four;
        ASSERT_EQ(ColorRes(*deep, *four, 4, COLORRES_BYTEORDER_GRAY, kind), SUCCESS);
        EXPECT_NEAR(MeanColour(*four)[0], 1000.0 / 257.0, 1.0) << kind;
    }
    ScopedBitmap colour;
    Flat(colour, 40, 30, Rgb(100, 150, 37));
    for (unsigned kind : kAllKinds) {
        ScopedBitmap rgb555;
        ASSERT_EQ(ColorRes(*colour, *rgb555, 16, COLORRES_BYTEORDER_BGR, kind), SUCCESS);
        const std::array<double, 3> mean = MeanColour(*rgb555);
        EXPECT_NEAR(mean[0], 100, 1.0) << kind;
        EXPECT_NEAR(mean[1], 150, 1.0) << kind;
        EXPECT_NEAR(mean[2], 37, 1.0) << kind;
    }
}

TEST(Dither, FullScaleFlatFieldsStayExact) {
    for (std::uint32_t colour : {0xFFFFFFu, 0u}) {
        ScopedBitmap field;
        Flat(field, 9, 7, colour);
        for (unsigned kind : kAllKinds) {
            for (int bits : {1, 4, 8, 16}) {
                ScopedBitmap dithered;
                ASSERT_EQ(ColorRes(*field, *dithered, bits, COLORRES_FIXED_PALETTE, kind), SUCCESS);
                for (int row = 0; row < 7; ++row) {
                    for (int col = 0; col < 9; ++col) {
                        ASSERT_EQ(L_GetPixelColor(dithered.get(), row, col), colour)
                            << bits << " bits, kind " << kind;
                    }
                }
                EXPECT_TRUE(PaddingIsZero(*dithered));
            }
        }
    }
}

// Without dithering every pixel takes the nearest colour; the region tests check that on every
// fixed palette. Targets that hold every level of the source ignore the dither kind.
TEST(Dither, FullDepthTargetsIgnoreTheKind) {
    TestImage colour({24, ORDER_RGB, "24"}, 37, 11, 4);
    for (int bits : {24, 32}) {
        ScopedBitmap plain, dithered;
        ASSERT_EQ(ColorRes(*colour, *plain, bits, COLORRES_BYTEORDER_BGR, 0), SUCCESS);
        ASSERT_EQ(ColorRes(*colour, *dithered, bits, COLORRES_BYTEORDER_BGR,
                           COLORRES_DITHER_FLOYD_STEINBERG),
                  SUCCESS);
        EXPECT_EQ(Snapshot(*dithered), Snapshot(*plain));
    }
}

TEST(Dither, AnUnknownKindIsRefused) {
    ScopedBitmap field, none;
    Flat(field, 3, 2, Rgb(1, 2, 3));
    EXPECT_EQ(ColorRes(*field, *none, 8, COLORRES_FIXED_PALETTE, 9), ERROR_INV_PARAMETER);
    EXPECT_EQ(none->Addr, nullptr);
    EXPECT_EQ(L_GetPixelColor(field.get(), 1, 2), Rgb(1, 2, 3));
}

TEST(NearestEntrySearch, AnswersAsASearchOfEveryEntry) {
    std::mt19937 random(12);
    std::vector<std::vector<RGBQUAD>> palettes;
    const auto entry = [](int r, int g, int b) {
        return RGBQUAD{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
                       static_cast<std::uint8_t>(r), 0};
    };
    std::vector<RGBQUAD> cube, randomEntries, fewWithRepeats, single = {entry(9, 9, 9)};
    for (int i = 0; i < 256; ++i)
        cube.push_back(entry((i >> 5) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 85));
    for (int i = 0; i < 256; ++i)
        randomEntries.push_back(entry(random() & 255, random() & 255, random() & 255));
    for (int i = 0; i < 16; ++i) fewWithRepeats.push_back(entry((i % 5) * 60, (i % 3) * 120, 17));
    for (const auto& palette : {cube, randomEntries, fewWithRepeats, single}) {
        engine::NearestEntrySearch search(palette);
        std::vector<std::array<std::uint32_t, 3>> colours;
        for (std::uint32_t edge : {0u, 15u, 16u, 127u, 128u, 240u, 255u}) {
            colours.push_back({edge, 255 - edge, edge});
        }
        for (int i = 0; i < 20000; ++i) {
            const auto level = [&] { return static_cast<std::uint32_t>(random() & 255); };
            colours.push_back({level(), level(), level()});
        }
        for (const auto& c : colours) {
            ASSERT_EQ(search.Find(c[0], c[1], c[2]),
                      engine::NearestEntryReference(palette, c[0], c[1], c[2]))
                << c[0] << "," << c[1] << "," << c[2] << " of " << palette.size();
        }
    }
}

}  // namespace
