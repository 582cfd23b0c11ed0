// Intensity operations: each effect against a per-pixel computation written out here, on every
// depth the engine holds; the fast kernels against their references, bit for bit.
#include <cmath>
#include <functional>
#include <numeric>

#include "engine/Intensity.h"
#include "engine/Processing.h"
#include "engine/processing/IntensityLevels.h"
#include "tests/engine/TestBitmaps.h"

using namespace enginetest;

namespace {

// Every format, plus an 8-bit image with a palette of colours.
struct Case {
    Format format;
    bool colourPalette = false;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (const Format& format : AllFormats()) cases.push_back({format});
    cases.push_back({{8, ORDER_BGR, "8colour"}, true});
    return cases;
}

std::vector<RGBQUAD> ColourPalette() {
    std::mt19937 random(77);
    std::vector<RGBQUAD> palette(256);
    for (RGBQUAD& entry : palette) {
        entry = RGBQUAD{static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                        static_cast<std::uint8_t>(random()), 0};
    }
    return palette;
}

bool IsDeep(const BITMAPHANDLE& b) {
    return b.BitsPerPixel == 12 || (b.BitsPerPixel == 16 && b.Order == ORDER_GRAY);
}
bool IsRgb555(const BITMAPHANDLE& b) { return b.BitsPerPixel == 16 && b.Order != ORDER_GRAY; }
std::uint32_t Top(const BITMAPHANDLE& b) { return IsDeep(b) ? (1u << (b.HighBit + 1)) - 1 : 255u; }
std::uint32_t Expand(std::uint32_t v5) { return (v5 << 3) | (v5 >> 2); }
std::uint32_t Reduce(std::uint32_t v8) { return (v8 * 31 + 127) / 255; }
std::uint32_t Channel(std::uint32_t colour, int c) { return (colour >> (8 * c)) & 0xFF; }
std::uint32_t Luma(std::uint32_t colour) {
    return (299 * Channel(colour, 0) + 587 * Channel(colour, 1) + 114 * Channel(colour, 2) + 500) /
           1000;
}
// A deep sample as the engine reads it: 12-bit words above 4095 as 4095.
std::uint32_t Sample(const BITMAPHANDLE& b, int row, int col) {
    const std::uint32_t v = Stored(b, row, col);
    return b.BitsPerPixel == 12 ? std::min(v, 4095u) : v;
}
// The level a pixel is judged by: deep samples, else the luma of its colour.
std::uint32_t LevelOf(const BITMAPHANDLE& b, int row, int col) {
    return IsDeep(b) ? Sample(b, row, col) : Luma(L_GetPixelColor(&b, row, col));
}

// A random image of the case with its levels pressed towards the middle (so stretching has work
// to do); random bits where a pixel holds no colour, and for 12 bits a word above 4095.
std::unique_ptr<TestImage> BandImage(const Case& c, int width, int height, std::uint32_t seed) {
    auto image = std::make_unique<TestImage>(c.format, width, height, seed,
                                             c.colourPalette ? ColourPalette().data() : nullptr);
    EXPECT_EQ(L_HistoContrastBitmap(image->get(), -600), SUCCESS);
    if (c.format.bits == 12) Store(**image, 0, 0, 0xFFFF);
    return image;
}

std::string Describe(const Case& c, const BITMAPHANDLE& b) {
    return enginetest::Describe(c.format, b.Width, b.Height);
}

// Checks every pixel of after against before: deep samples become expected(v, v); each colour
// channel c of a pixel of luma y becomes expected(c, y) (RGB555: through its 5-bit level). Bits
// that hold no colour and the row padding stay.
void ExpectEach(const BITMAPHANDLE& before, const BITMAPHANDLE& after,
                const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& expected,
                const std::string& what) {
    for (int row = 0; row < before.Height; ++row) {
        for (int col = 0; col < before.Width; ++col) {
            if (IsDeep(before)) {
                const std::uint32_t v = Sample(before, row, col);
                ASSERT_EQ(Stored(after, row, col), expected(v, v))
                    << what << " at " << row << "," << col;
                continue;
            }
            const std::uint32_t was = L_GetPixelColor(&before, row, col);
            const std::uint32_t now = L_GetPixelColor(&after, row, col);
            for (int c = 0; c < 3; ++c) {
                std::uint32_t want = expected(Channel(was, c), Luma(was));
                if (IsRgb555(before)) want = Expand(Reduce(want));
                ASSERT_EQ(Channel(now, c), want)
                    << what << " at " << row << "," << col << " channel " << c;
            }
            if (before.BitsPerPixel == 32) {
                EXPECT_EQ(Stored(after, row, col) >> 24, Stored(before, row, col) >> 24) << what;
            }
            if (IsRgb555(before)) {
                EXPECT_EQ(Stored(after, row, col) & 0x8000, Stored(before, row, col) & 0x8000)
                    << what;
            }
        }
    }
    EXPECT_TRUE(PaddingIsZero(after)) << what;
}

// Runs op on a copy of each case's band image and hands both to check.
void ForEachCase(const std::function<int(BITMAPHANDLE*)>& op,
                 const std::function<void(const BITMAPHANDLE&, const BITMAPHANDLE&,
                                          const std::string&)>& check) {
    for (const Case& c : Cases()) {
        for (const Size& size : {Size{7, 5}, Size{1, 1}, Size{3, 1}, Size{33, 9}}) {
            const auto image = BandImage(c, size.width, size.height, 5 + size.width);
            ScopedBitmap before;
            ASSERT_EQ(L_CopyBitmap(before.get(), image->get(), BITMAPHANDLE_STRUCT_SIZE), SUCCESS);
            const std::string what = Describe(c, **image);
            ASSERT_EQ(op(image->get()), SUCCESS) << what;
            check(*before, **image, what);
        }
    }
}

TEST(StretchIntensity, MapsTheOccupiedRangeOntoTheFullRange) {
    ForEachCase(L_StretchBitmapIntensity, [](const BITMAPHANDLE& before, const BITMAPHANDLE& after,
                                             const std::string& what) {
        std::uint32_t low = UINT32_MAX, high = 0;
        for (int row = 0; row < before.Height; ++row) {
            for (int col = 0; col < before.Width; ++col) {
                if (IsDeep(before)) {
                    low = std::min(low, Sample(before, row, col));
                    high = std::max(high, Sample(before, row, col));
                    continue;
                }
                const std::uint32_t colour = L_GetPixelColor(&before, row, col);
                for (int c = 0; c < 3; ++c) {
                    low = std::min(low, Channel(colour, c));
                    high = std::max(high, Channel(colour, c));
                }
            }
        }
        const std::uint32_t top = Top(before);
        ExpectEach(
            before, after,
            [&](std::uint32_t v, std::uint32_t) -> std::uint32_t {
                if (low == high) return v;
                const double inside = std::clamp(v, low, high) - low;
                return static_cast<std::uint32_t>(std::lround(inside * top / (high - low)));
            },
            what);
    });
}

TEST(GammaCorrect, RaisesEachLevelToTheReciprocalPower) {
    for (unsigned gamma : {50u, 220u}) {
        ForEachCase([gamma](BITMAPHANDLE* b) { return L_GammaCorrectBitmap(b, gamma); },
                    [gamma](const BITMAPHANDLE& before, const BITMAPHANDLE& after,
                            const std::string& what) {
                        const double top = Top(before);
                        ExpectEach(
                            before, after,
                            [&](std::uint32_t v, std::uint32_t) {
                                const double level = std::min<double>(v, top);
                                return static_cast<std::uint32_t>(
                                    std::lround(top * std::pow(level / top, 100.0 / gamma)));
                            },
                            what + " gamma " + std::to_string(gamma));
                    });
    }
    // Known points: γ 2 on 8 bits takes 64 to 255·√(64/255) = 127.75.
    ScopedBitmap grey;
    ASSERT_EQ(Create(grey, 3, 1, 8, ORDER_GRAY), SUCCESS);
    Store(*grey, 0, 0, 64), Store(*grey, 0, 1, 255);
    ASSERT_EQ(L_GammaCorrectBitmap(grey.get(), 200), SUCCESS);
    EXPECT_EQ(Stored(*grey, 0, 0), 128u);
    EXPECT_EQ(Stored(*grey, 0, 1), 255u);
    EXPECT_EQ(Stored(*grey, 0, 2), 0u);
    const auto before = Snapshot(*grey);
    EXPECT_EQ(L_GammaCorrectBitmap(grey.get(), 100), SUCCESS);
    EXPECT_EQ(L_GammaCorrectBitmap(grey.get(), 0), ERROR_INV_PARAMETER);
    EXPECT_EQ(Snapshot(*grey), before);
}

TEST(HistoContrast, ScalesLevelsAboutTheMean) {
    for (int change : {-1000, -400, 300, 1000}) {
        ForEachCase(
            [change](BITMAPHANDLE* b) { return L_HistoContrastBitmap(b, change); },
            [change](const BITMAPHANDLE& before, const BITMAPHANDLE& after,
                     const std::string& what) {
                std::uint64_t sum = 0, count = 0;
                for (int row = 0; row < before.Height; ++row) {
                    for (int col = 0; col < before.Width; ++col, ++count)
                        sum += LevelOf(before, row, col);
                }
                const auto mean = static_cast<std::int64_t>((sum + count / 2) / count);
                const double k =
                    change < 0 ? (1000.0 + change) / 1000.0 : 1000.0 / (1000.0 - change);
                const auto top = static_cast<std::int64_t>(Top(before));
                ExpectEach(
                    before, after,
                    [&](std::uint32_t v, std::uint32_t) {
                        const std::int64_t diff = static_cast<std::int64_t>(v) - mean;
                        std::int64_t level = mean;
                        if (change == 1000) {
                            level = diff > 0 ? top : diff < 0 ? 0 : mean;
                        } else {
                            const auto moved =
                                static_cast<std::int64_t>(std::floor(std::abs(diff) * k + 0.5));
                            level = diff < 0 ? mean - moved : mean + moved;
                        }
                        return static_cast<std::uint32_t>(std::clamp<std::int64_t>(level, 0, top));
                    },
                    what + " change " + std::to_string(change));
            });
    }
    TestImage image({16, ORDER_GRAY, "16"}, 5, 3);
    const auto before = Snapshot(*image);
    EXPECT_EQ(L_HistoContrastBitmap(image.get(), 0), SUCCESS);
    EXPECT_EQ(L_HistoContrastBitmap(image.get(), 1001), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_HistoContrastBitmap(image.get(), -1001), ERROR_INV_PARAMETER);
    EXPECT_EQ(Snapshot(*image), before);
}

TEST(HistoEqualize, MapsLevelsThroughTheCumulativeHistogram) {
    for (unsigned flags : {HISTOEQ_LUMINANCE, HISTOEQ_GRAYLEVELS}) {
        ForEachCase(
            [flags](BITMAPHANDLE* b) { return L_HistoEqualizeBitmap(b, flags); },
            [](const BITMAPHANDLE& before, const BITMAPHANDLE& after, const std::string& what) {
                std::vector<std::uint64_t> histogram(65536);
                for (int row = 0; row < before.Height; ++row) {
                    for (int col = 0; col < before.Width; ++col)
                        ++histogram[LevelOf(before, row, col)];
                }
                std::uint32_t first = 0;
                while (histogram[first] == 0) ++first;
                const std::uint64_t total =
                    static_cast<std::uint64_t>(before.Width) * before.Height;
                std::vector<std::uint64_t> cumulative(histogram.size());
                std::partial_sum(histogram.begin(), histogram.end(), cumulative.begin());
                const double top = Top(before);
                const auto equalised = [&](std::uint32_t v) -> std::uint32_t {
                    if (histogram[first] == total) return v;
                    return static_cast<std::uint32_t>(
                        std::lround(static_cast<double>(cumulative[v] - histogram[first]) * top /
                                    (total - histogram[first])));
                };
                const bool grey = L_IsGrayScaleBitmap(&before) != GRAY_NO;
                ExpectEach(
                    before, after,
                    [&](std::uint32_t c, std::uint32_t luma) -> std::uint32_t {
                        if (grey) return equalised(c);
                        const int moved = static_cast<int>(c) + static_cast<int>(equalised(luma)) -
                                          static_cast<int>(luma);
                        return static_cast<std::uint32_t>(std::clamp(moved, 0, 255));
                    },
                    what);
            });
    }
    TestImage image({24, ORDER_RGB, "24"}, 5, 3);
    for (unsigned flags : {0u, 1u, 6u})
        EXPECT_EQ(L_HistoEqualizeBitmap(image.get(), flags), ERROR_INV_PARAMETER);
}

TEST(IntensityOperations, DeepGreyStaysWithinItsSignificantBits) {
    const std::vector<std::function<int(BITMAPHANDLE*)>> operations = {
        L_StretchBitmapIntensity,
        [](BITMAPHANDLE* b) { return L_HistoEqualizeBitmap(b, HISTOEQ_GRAYLEVELS); },
        [](BITMAPHANDLE* b) { return L_HistoContrastBitmap(b, 1000); },
        [](BITMAPHANDLE* b) { return L_GammaCorrectBitmap(b, 30); },
        [](BITMAPHANDLE* b) {
            return L_AddShadowBitmap(b, 0, 100, SHADOW_LIGHT | (100 << SHADOW_STRENGTH_SHIFT));
        },
    };
    for (const auto& op : operations) {
        TestImage twelve({12, ORDER_GRAY, "12"}, 9, 4, 3);
        Store(*twelve, 1, 1, 0xFFFF);
        TestImage sixteen({16, ORDER_GRAY, "16"}, 9, 4, 3);
        sixteen->HighBit = 11;  // 12-bit sensor data in 16-bit words
        for (int row = 0; row < 4; ++row) {
            for (int col = 0; col < 9; ++col) {
                Store(*sixteen, row, col, Stored(*sixteen, row, col) & 0x7FF);
            }
        }
        ASSERT_EQ(op(twelve.get()), SUCCESS);
        ASSERT_EQ(op(sixteen.get()), SUCCESS);
        for (std::uint32_t v : Snapshot(*twelve)) ASSERT_LE(v, 4095u);
        for (std::uint32_t v : Snapshot(*sixteen)) ASSERT_LE(v, 4095u);
    }
    // Stretching reaches the top of the significant bits, not of the word.
    TestImage sixteen({16, ORDER_GRAY, "16"}, 9, 4, 3);
    sixteen->HighBit = 11;
    Store(*sixteen, 0, 0, 100), Store(*sixteen, 0, 1, 2000);
    for (int col = 2; col < 9; ++col) Store(*sixteen, 0, col, 900);
    for (int row = 1; row < 4; ++row)
        for (int col = 0; col < 9; ++col) Store(*sixteen, row, col, 900);
    ASSERT_EQ(L_StretchBitmapIntensity(sixteen.get()), SUCCESS);
    EXPECT_EQ(Stored(*sixteen, 0, 0), 0u);
    EXPECT_EQ(Stored(*sixteen, 0, 1), 4095u);
    EXPECT_EQ(Stored(*sixteen, 1, 1), 1724u);  // 800 × 4095 / 1900, rounded
}

TEST(IntensityOperations, FullScaleFlatFieldsKeepTheirLevel) {
    for (const Format& format : AllFormats()) {
        ScopedBitmap flat;
        ASSERT_EQ(Create(flat, 5, 3, format.bits, format.order), SUCCESS);
        ASSERT_EQ(L_FillBitmap(flat.get(), COLOR_GRAY16_MARKER | 0xFFFF), SUCCESS);
        const auto before = Snapshot(*flat);
        ASSERT_EQ(L_StretchBitmapIntensity(flat.get()), SUCCESS);
        ASSERT_EQ(L_HistoEqualizeBitmap(flat.get(), HISTOEQ_LUMINANCE), SUCCESS);
        ASSERT_EQ(L_HistoContrastBitmap(flat.get(), 700), SUCCESS);
        ASSERT_EQ(L_GammaCorrectBitmap(flat.get(), 180), SUCCESS);
        EXPECT_EQ(Snapshot(*flat), before) << format.name;
    }
}

TEST(IntensityOperations, RefuseMissingImages) {
    ScopedBitmap empty;
    for (BITMAPHANDLE* b : {static_cast<BITMAPHANDLE*>(nullptr), empty.get()}) {
        EXPECT_EQ(L_StretchBitmapIntensity(b), ERROR_NO_BITMAP);
        EXPECT_EQ(L_HistoEqualizeBitmap(b, HISTOEQ_LUMINANCE), ERROR_NO_BITMAP);
        EXPECT_EQ(L_HistoContrastBitmap(b, 10), ERROR_NO_BITMAP);
        EXPECT_EQ(L_GammaCorrectBitmap(b, 120), ERROR_NO_BITMAP);
        EXPECT_EQ(L_AddShadowBitmap(b, 0, 0, 0), ERROR_NO_BITMAP);
    }
}

// ---- Shadow ------------------------------------------------------------------------------------

// Memory pixel of displayed (x, y), after the TIFF 6.0 Orientation table.
std::pair<int, int> MemoryOf(const BITMAPHANDLE& b, int x, int y) {
    const int lastRow = b.Height - 1;
    switch (b.ViewPerspective) {
        case RIGHT_TOP: return {lastRow - x, y};
        case BOTTOM_LEFT: return {lastRow - y, x};
        default: return {y, x};
    }
}

std::uint32_t Darken(std::uint32_t v, std::uint32_t strength) {
    return v - (v * strength + 50) / 100;
}

TEST(AddShadow, DarkensWhatTheMovedObjectsCoverOnTheDisplayedImage) {
    // 30° below the right, 3 pixels: (round(3 cos 30°), round(3 sin 30°)) = (3, 2).
    const unsigned strength = 60, flags = 3 | (strength << SHADOW_STRENGTH_SHIFT);
    const int dx = 3, dy = 2;
    for (const Case& c : Cases()) {
        for (int perspective : {TOP_LEFT, RIGHT_TOP, BOTTOM_LEFT}) {
            const auto image = BandImage(c, 11, 8, 9);
            (*image)->ViewPerspective = perspective;
            ScopedBitmap before, scratch;
            ASSERT_EQ(L_CopyBitmap(before.get(), image->get(), BITMAPHANDLE_STRUCT_SIZE), SUCCESS);
            ASSERT_EQ(L_CopyBitmap(scratch.get(), image->get(), BITMAPHANDLE_STRUCT_SIZE), SUCCESS);
            std::uint64_t sum = 0;
            for (int row = 0; row < 8; ++row)
                for (int col = 0; col < 11; ++col) sum += LevelOf(*before, row, col);
            const auto threshold = static_cast<std::uint32_t>(sum / 88);
            const std::string what = Describe(c, **image) + " view " + std::to_string(perspective);
            ASSERT_EQ(L_AddShadowBitmap(image->get(), 3000, threshold, flags), SUCCESS) << what;
            const int width = DisplayedWidth(*before), height = DisplayedHeight(*before);
            const auto object = [&](int x, int y) {
                if (x < 0 || y < 0 || x >= width || y >= height) return false;
                const auto [row, col] = MemoryOf(*before, x, y);
                return LevelOf(*before, row, col) > threshold;
            };
            int shadowed = 0;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const auto [row, col] = MemoryOf(*before, x, y);
                    const std::uint32_t was = Stored(*before, row, col),
                                        now = Stored(**image, row, col);
                    if (object(x, y) || !object(x - dx, y - dy)) {
                        ASSERT_EQ(now, was) << what << " untouched at " << x << "," << y;
                        continue;
                    }
                    ++shadowed;
                    if (IsDeep(*before)) {
                        ASSERT_EQ(now, Darken(Sample(*before, row, col), strength)) << what;
                        continue;
                    }
                    // Colour channels darken at their own precision (RGB555: 5 bits); palettes
                    // take the entry the engine's single-pixel write picks for the dark colour.
                    const std::uint32_t colour = L_GetPixelColor(&*before, row, col);
                    std::uint32_t dark = 0;
                    for (int ch = 0; ch < 3; ++ch) {
                        const std::uint32_t v = Channel(colour, ch);
                        dark |= (IsRgb555(*before) ? Expand(Darken(Reduce(v), strength))
                                                   : Darken(v, strength))
                                << (8 * ch);
                    }
                    if (before->BitsPerPixel <= 8) {
                        L_PutPixelColor(scratch.get(), row, col, dark);
                        ASSERT_EQ(now, Stored(*scratch, row, col))
                            << what << " at " << x << "," << y;
                    } else {
                        ASSERT_EQ(L_GetPixelColor(image->get(), row, col), dark) << what;
                        ASSERT_EQ(now & (IsRgb555(*before) ? 0x8000u : 0xFF000000u),
                                  was & (IsRgb555(*before) ? 0x8000u : 0xFF000000u));
                    }
                }
            }
            EXPECT_GT(shadowed, 0) << what;
            EXPECT_TRUE(PaddingIsZero(**image)) << what;
        }
    }
}

TEST(AddShadow, LightShadowsDefaultsAndRefusals) {
    ScopedBitmap grey;
    ASSERT_EQ(Create(grey, 12, 1, 8, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_FillBitmap(grey.get(), Rgb(100, 100, 100)), SUCCESS);
    Store(*grey, 0, 0, 250);
    // Defaults: 4 pixels, half strength; to the right.
    ASSERT_EQ(L_AddShadowBitmap(grey.get(), 0, 200, 0), SUCCESS);
    EXPECT_EQ(Stored(*grey, 0, 3), 100u);
    EXPECT_EQ(Stored(*grey, 0, 4), 50u);
    EXPECT_EQ(Stored(*grey, 0, 5), 100u);
    ASSERT_EQ(L_AddShadowBitmap(grey.get(), 36000 + 0, 200,
                                2 | SHADOW_LIGHT | (25 << SHADOW_STRENGTH_SHIFT)),
              SUCCESS);
    EXPECT_EQ(Stored(*grey, 0, 2), 100u + (155 * 25 + 50) / 100);
    const auto before = Snapshot(*grey);
    EXPECT_EQ(L_AddShadowBitmap(grey.get(), 0, 255, 0), SUCCESS);  // no level above 255
    EXPECT_EQ(L_AddShadowBitmap(grey.get(), 0, 10, 0x20000), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_AddShadowBitmap(grey.get(), 0, 10, 101 << SHADOW_STRENGTH_SHIFT),
              ERROR_INV_PARAMETER);
    EXPECT_EQ(Snapshot(*grey), before);
}

// ---- Fast kernels against their references ----------------------------------------------------

// Each fast kernel against its reference, on random images of odd sizes (12-bit with a word
// above 4095) and on full-scale flat fields: the histogram, the table (but on RGB555, which the
// engine's remap does not take) and, for colour, the luma shift.
TEST(IntensityKernels, MatchTheirReferencesBitForBit) {
    std::mt19937 random(31);
    std::vector<Size> sizes = OddSizes();
    sizes.push_back({37, 3});
    for (const Case& c : Cases()) {
        const std::vector<RGBQUAD> palette = ColourPalette();
        const RGBQUAD* entries = c.colourPalette ? palette.data() : nullptr;
        for (const Size& size : sizes) {
            for (bool flat : {false, true}) {
                TestImage fast(c.format, size.width, size.height, 13, entries);
                TestImage reference(c.format, size.width, size.height, 13, entries);
                for (TestImage* image : {&fast, &reference}) {
                    if (flat) {
                        L_FillBitmap(image->get(), COLOR_GRAY16_MARKER | 0xFFFF);
                    } else if (c.format.bits == 12) {
                        Store(**image, 0, 0, 0xFFFF);
                    }
                }
                const std::string what =
                    enginetest::Describe(c.format, size.width, size.height) + (flat ? " flat" : "");
                engine::IntensityLevels levels;
                ASSERT_EQ(engine::IntensityLevelsOf(fast.get(), &levels), SUCCESS);
                std::vector<std::uint32_t> histogram, counted(levels.count);
                ASSERT_EQ(engine::LevelHistogram(fast.get(), levels, &histogram), SUCCESS);
                ASSERT_EQ(L_GetBitmapHistogram(reference.get(), counted.data(), levels.count,
                                               CHANNEL_MASTER),
                          SUCCESS);
                EXPECT_EQ(histogram, counted) << what;

                std::vector<std::uint32_t> table(levels.count);
                for (std::uint32_t& v : table) v = random() % levels.count;
                if (!IsRgb555(*fast)) {
                    ASSERT_EQ(engine::ApplyLevelTable(fast.get(), table), SUCCESS);
                    ASSERT_EQ(L_RemapBitmapIntensity(reference.get(), table.data(), levels.count,
                                                     CHANNEL_MASTER),
                              SUCCESS);
                    EXPECT_EQ(Snapshot(*fast), Snapshot(*reference)) << what;
                }
                if (!levels.grey) {
                    ASSERT_EQ(engine::ShiftByLuma(fast.get(), table), SUCCESS);
                    ASSERT_EQ(engine::ShiftByLumaReference(reference.get(), table), SUCCESS);
                    EXPECT_EQ(Snapshot(*fast), Snapshot(*reference)) << what;
                }
                EXPECT_TRUE(PaddingIsZero(*fast)) << what;
            }
        }
    }
}

}  // namespace
