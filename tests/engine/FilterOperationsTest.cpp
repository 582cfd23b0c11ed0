// Neighbourhood filters: their effect on every depth against straightforward computations
// written here from the documented definitions, the fast kernels against the plain references
// bit for bit, and what no filter may touch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "engine/Filters.h"
#include "engine/processing/FilterKernels.h"
#include "tests/engine/TestBitmaps.h"

namespace {

using namespace enginetest;
using Operation = std::function<int(BITMAPHANDLE*)>;

// Every depth, and 8-bit indices into a colour palette.
struct Case {
    Format format;
    bool colourPalette = false;
};

std::vector<Case> AllCases() {
    std::vector<Case> cases;
    for (const Format& format : AllFormats()) cases.push_back({format});
    cases.push_back({{8, ORDER_GRAY, "8 colour palette"}, true});
    return cases;
}

const RGBQUAD* ColourPalette() {
    static const std::vector<RGBQUAD> palette = [] {
        std::vector<RGBQUAD> entries(256);
        for (unsigned i = 0; i < 256; ++i) {
            entries[i] =
                RGBQUAD{static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(i * 91),
                        static_cast<std::uint8_t>(i * 13), 0};
        }
        return entries;
    }();
    return palette.data();
}

RGBQUAD Entry(const BITMAPHANDLE& b, unsigned index) {
    if (b.pPalette != nullptr && index < b.nColors) return b.pPalette[index];
    const auto level = static_cast<std::uint8_t>(index * 255 / ((1u << b.BitsPerPixel) - 1));
    return RGBQUAD{level, level, level, 0};
}

bool GreyPalette(const BITMAPHANDLE& b) {
    for (unsigned i = 0; i < (1u << b.BitsPerPixel); ++i) {
        const RGBQUAD e = Entry(b, i);
        if (e.rgbRed != e.rgbGreen || e.rgbGreen != e.rgbBlue) return false;
    }
    return true;
}

// What the filters see of a pixel: grey levels, or red, green and blue, and their maximum.
struct Space {
    int channels;
    unsigned max;
};

Space SpaceOf(const BITMAPHANDLE& b) {
    if (b.BitsPerPixel <= 8) return GreyPalette(b) ? Space{1, 255} : Space{3, 255};
    if (b.BitsPerPixel == 12) return {1, 4095};
    if (b.BitsPerPixel == 16) return b.Order == ORDER_GRAY ? Space{1, 65535} : Space{3, 31};
    return {3, 255};
}

unsigned Channel(const BITMAPHANDLE& b, std::uint32_t stored, int c) {
    if (b.BitsPerPixel <= 8) {
        const RGBQUAD e = Entry(b, stored);
        return c == 0 ? e.rgbRed : c == 1 ? e.rgbGreen : e.rgbBlue;
    }
    if (b.BitsPerPixel == 12 || b.Order == ORDER_GRAY) return stored;
    if (b.BitsPerPixel == 16) return (stored >> (10 - 5 * c)) & 31;
    const int byte = b.Order == ORDER_RGB ? c : 2 - c;
    return (stored >> (8 * byte)) & 0xFF;
}

// The stored value for samples: palettes the nearest entry (lowest index on a tie), the spare
// bits of RGB555 and 32-bit pixels kept from `original`.
std::uint32_t Encode(const BITMAPHANDLE& b, const std::vector<unsigned>& s,
                     std::uint32_t original) {
    if (b.BitsPerPixel <= 8) {
        unsigned best = 0, bestDistance = ~0u;
        for (unsigned i = 0; i < (1u << b.BitsPerPixel); ++i) {
            const RGBQUAD e = Entry(b, i);
            const int dr = e.rgbRed - static_cast<int>(s[0]);
            const int dg = e.rgbGreen - static_cast<int>(s.size() == 3 ? s[1] : s[0]);
            const int db = e.rgbBlue - static_cast<int>(s.size() == 3 ? s[2] : s[0]);
            const auto distance = static_cast<unsigned>(dr * dr + dg * dg + db * db);
            if (distance < bestDistance) bestDistance = distance, best = i;
        }
        return best;
    }
    if (b.BitsPerPixel == 12 || b.Order == ORDER_GRAY) return s[0];
    if (b.BitsPerPixel == 16) return (original & 0x8000) | (s[0] << 10) | (s[1] << 5) | s[2];
    std::uint32_t stored = original & (b.BitsPerPixel == 32 ? 0xFF000000u : 0);
    for (int c = 0; c < 3; ++c) stored |= s[c] << (8 * (b.Order == ORDER_RGB ? c : 2 - c));
    return stored;
}

// at(dx, dy): the channel's sample at the offset from the pixel, the edge repeated.
using At = std::function<unsigned(int dx, int dy)>;
using Expectation = std::function<unsigned(const At& at, unsigned max)>;

// Coordinate i of 0 … count − 1 beyond the edge: the edge pixel, or mirrored about it.
int Inside(int i, int count, bool mirror) {
    if (!mirror || count == 1) return std::clamp(i, 0, count - 1);
    return i < 0 ? -i : i >= count ? 2 * count - 2 - i : i;
}

// Runs the operation on random images of every depth and compares each pixel with the
// expectation computed from the samples before.
void ExpectEffect(const Operation& operation, const Expectation& expected, bool mirror = false) {
    for (const Case& test : AllCases()) {
        for (const Size size : std::vector<Size>{{1, 1}, {3, 1}, {2, 2}, {5, 7}, {7, 5}}) {
            TestImage image(test.format, size.width, size.height, 5,
                            test.colourPalette ? ColourPalette() : nullptr);
            const std::vector<std::uint32_t> before = Snapshot(*image);
            const Space space = SpaceOf(*image);
            ASSERT_EQ(operation(image.get()), SUCCESS) << test.format.name;
            const std::vector<std::uint32_t> after = Snapshot(*image);
            for (int y = 0; y < size.height; ++y) {
                for (int x = 0; x < size.width; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * size.width + x;
                    std::vector<unsigned> samples;
                    for (int c = 0; c < space.channels; ++c) {
                        const At at = [&](int dx, int dy) {
                            const int row = Inside(y + dy, size.height, mirror);
                            const int col = Inside(x + dx, size.width, mirror);
                            return Channel(*image, before[row * size.width + col], c);
                        };
                        samples.push_back(expected(at, space.max));
                    }
                    ASSERT_EQ(after[i], Encode(*image, samples, before[i]))
                        << Describe(test.format, size.width, size.height) << " at " << x << ","
                        << y;
                }
            }
        }
    }
}

unsigned Clamped(long long v, unsigned max) {
    return static_cast<unsigned>(std::clamp<long long>(v, 0, max));
}

long long FloorDiv(long long a, long long b) { return a / b - (a % b != 0 && a < 0); }

long long Weighted(const At& at, const std::vector<int>& weights) {
    long long sum = 0;
    for (int k = 0; k < 9; ++k)
        sum += weights[k] * static_cast<long long>(at(k % 3 - 1, k / 3 - 1));
    return sum;
}

TEST(FilterEffects, MedianTakesTheMiddleOfTheWindowEvenSizesTheLowerOne) {
    for (const int dimension : {3, 4}) {
        ExpectEffect([&](BITMAPHANDLE* b) { return L_MedianFilterBitmap(b, dimension); },
                     [&](const At& at, unsigned) {
                         std::vector<unsigned> window;
                         const int before = dimension / 2;
                         for (int dy = -before; dy < dimension - before; ++dy)
                             for (int dx = -before; dx < dimension - before; ++dx)
                                 window.push_back(at(dx, dy));
                         std::sort(window.begin(), window.end());
                         return window[(window.size() - 1) / 2];
                     });
    }
}

TEST(FilterEffects, SharpenAddsTheScaledDifferenceFromTheBinomialBlur) {
    for (const int change : {-1000, -250, 333, 1000}) {
        ExpectEffect([&](BITMAPHANDLE* b) { return L_SharpenBitmap(b, change); },
                     [&](const At& at, unsigned max) {
                         const long long v = at(0, 0);
                         const long long blur16 = Weighted(at, {1, 2, 1, 2, 4, 2, 1, 2, 1});
                         return Clamped(v + FloorDiv(change * (16 * v - blur16) + 8000, 16000),
                                        max);
                     });
    }
}

TEST(FilterEffects, DespeckleReplacesOnlyStrictExtremesMirroringAtTheEdge) {
    ExpectEffect(
        L_DespeckleBitmap,
        [](const At& at, unsigned) {
            std::vector<unsigned> window;
            unsigned low = ~0u, high = 0;
            for (int k = 0; k < 9; ++k) {
                window.push_back(at(k % 3 - 1, k / 3 - 1));
                if (k != 4)
                    low = std::min(low, window.back()), high = std::max(high, window.back());
            }
            const unsigned v = at(0, 0);
            if (v <= high && v >= low) return v;
            std::sort(window.begin(), window.end());
            return window[4];
        },
        true);
}

TEST(FilterEffects, SpatialFiltersFollowTheirDocumentedKernels) {
    struct Documented {
        int number;
        std::vector<int> weights;
        std::function<unsigned(long long s, const At& at, unsigned max)> finish;
    };
    const std::vector<int> sobelV = {-1, 0, 1, -2, 0, 2, -1, 0, 1};
    const std::vector<Documented> filters = {
        {SPATIAL_EMBOSS_NW,
         {-1, 0, 0, 0, 0, 0, 0, 0, 1},
         [](long long s, const At&, unsigned max) { return Clamped(s + (max + 1) / 2, max); }},
        {SPATIAL_GRADIENT_SE,
         {-1, -1, 1, -1, -2, 1, 1, 1, 1},
         [](long long s, const At&, unsigned max) { return Clamped(s, max); }},
        {SPATIAL_LAPLACE_8,
         {-1, -1, -1, -1, 8, -1, -1, -1, -1},
         [](long long s, const At&, unsigned max) { return Clamped(s, max); }},
        {SPATIAL_SOBEL_MAGNITUDE,
         {-1, -2, -1, 0, 0, 0, 1, 2, 1},
         [&](long long s, const At& at, unsigned max) {
             return Clamped(std::llabs(s) + std::llabs(Weighted(at, sobelV)), max);
         }},
        {SPATIAL_SHIFTDIFF_DIAGONAL,
         {-1, 0, 0, 0, 1, 0, 0, 0, 0},
         [](long long s, const At&, unsigned max) { return Clamped(std::llabs(s), max); }},
        {SPATIAL_LOWPASS_MEAN,
         {1, 1, 1, 1, 1, 1, 1, 1, 1},
         [](long long s, const At&, unsigned) { return static_cast<unsigned>((s + 4) / 9); }},
    };
    for (const Documented& filter : filters) {
        SCOPED_TRACE(filter.number);
        ExpectEffect([&](BITMAPHANDLE* b) { return L_SpatialFilterBitmap(b, filter.number); },
                     [&](const At& at, unsigned max) {
                         return filter.finish(Weighted(at, filter.weights), at, max);
                     });
    }
}

TEST(FilterEffects, EmbossQuarterTurnsUseOneSobelAxis) {
    // At 0 (light from the top) only gy counts, at 9000 (from the right) only −gx.
    for (const unsigned depth : {0u, 100u, 1000u}) {
        ExpectEffect([&](BITMAPHANDLE* b) { return L_EmbossBitmap(b, 0, depth); },
                     [&](const At& at, unsigned max) {
                         const long long gy = Weighted(at, {-1, -2, -1, 0, 0, 0, 1, 2, 1});
                         return Clamped((max + 1) / 2 + FloorDiv(depth * gy + 400, 800), max);
                     });
        ExpectEffect([&](BITMAPHANDLE* b) { return L_EmbossBitmap(b, 9000, depth); },
                     [&](const At& at, unsigned max) {
                         const long long gx = Weighted(at, {-1, 0, 1, -2, 0, 2, -1, 0, 1});
                         return Clamped((max + 1) / 2 + FloorDiv(-(depth * gx) + 400, 800), max);
                     });
    }
}

// Every variant of every filter, for the comparisons below.
std::vector<std::pair<std::string, Operation>> Variants(bool reference) {
    std::vector<std::pair<std::string, Operation>> variants;
    for (const int dimension : {2, 3, 4, 5, 7, 15}) {
        variants.emplace_back("median " + std::to_string(dimension), [=](BITMAPHANDLE* b) {
            return reference ? engine::MedianFilterReference(b, dimension)
                             : L_MedianFilterBitmap(b, dimension);
        });
    }
    for (const int change : {-1000, -300, 1, 700, 1000}) {
        variants.emplace_back("sharpen " + std::to_string(change), [=](BITMAPHANDLE* b) {
            return reference ? engine::SharpenReference(b, change) : L_SharpenBitmap(b, change);
        });
    }
    variants.emplace_back("despeckle", [=](BITMAPHANDLE* b) {
        return reference ? engine::OutlierMedianReference(b) : L_DespeckleBitmap(b);
    });
    for (int number = 0; number < SPATIAL_FILTER_COUNT; ++number) {
        variants.emplace_back("spatial " + std::to_string(number), [=](BITMAPHANDLE* b) {
            return reference ? engine::SpatialFilterReference(b, number)
                             : L_SpatialFilterBitmap(b, number);
        });
    }
    for (const auto& [direction, depth] : std::vector<std::pair<unsigned, unsigned>>{
             {0, 100}, {4500, 1000}, {13300, 250}, {31500, 37}}) {
        variants.emplace_back("emboss " + std::to_string(direction), [=](BITMAPHANDLE* b) {
            return reference ? engine::EmbossReference(b, direction, depth)
                             : L_EmbossBitmap(b, direction, depth);
        });
    }
    return variants;
}

std::vector<std::uint8_t> Memory(const BITMAPHANDLE& b) { return {b.Addr, b.Addr + b.Size}; }

TEST(FilterKernels, FastPathsMatchTheReferencesBitForBit) {
    const auto fast = Variants(false), plain = Variants(true);
    std::vector<Size> sizes = OddSizes();
    sizes.insert(sizes.end(), {{17, 9}, {33, 21}});
    for (const Case& test : AllCases()) {
        for (const Size size : sizes) {
            for (std::size_t v = 0; v < fast.size(); ++v) {
                const RGBQUAD* palette = test.colourPalette ? ColourPalette() : nullptr;
                TestImage a(test.format, size.width, size.height, 17, palette);
                TestImage b(test.format, size.width, size.height, 17, palette);
                ASSERT_EQ(fast[v].second(a.get()), SUCCESS);
                ASSERT_EQ(plain[v].second(b.get()), SUCCESS);
                ASSERT_EQ(Memory(*a), Memory(*b))
                    << fast[v].first << " on " << Describe(test.format, size.width, size.height);
            }
        }
    }
}

TEST(FilterKernels, HistogramMedianMatchesTheReferenceOnLargeWindows) {
    const Format grey16{16, ORDER_GRAY, "16grey"}, grey12{12, ORDER_GRAY, "12"};
    const Format bgr{24, ORDER_BGR, "24bgr"};
    for (const auto& [format, width, height, dimension] :
         std::vector<std::tuple<Format, int, int, int>>{{grey16, 61, 37, 7},
                                                        {grey16, 61, 37, 16},
                                                        {grey16, 40, 70, 31},
                                                        {grey16, 7, 5, MEDIAN_MAX_DIMENSION},
                                                        {grey12, 45, 23, 9},
                                                        {bgr, 29, 31, 10}}) {
        TestImage a(format, width, height, 23), b(format, width, height, 23);
        ASSERT_EQ(L_MedianFilterBitmap(a.get(), dimension), SUCCESS);
        ASSERT_EQ(engine::MedianFilterReference(b.get(), dimension), SUCCESS);
        EXPECT_EQ(Memory(*a), Memory(*b)) << format.name << " " << dimension;
    }
}

TEST(FilterKernels, FullScaleFlatFieldsStayFullScale) {
    for (const auto& [bits, order, full] :
         std::vector<std::tuple<int, int, std::uint32_t>>{{16, ORDER_GRAY, 65535},
                                                          {12, ORDER_GRAY, 4095},
                                                          {8, ORDER_GRAY, 255},
                                                          {24, ORDER_BGR, 0xFFFFFF}}) {
        for (const auto& operation : std::vector<Operation>{
                 [](BITMAPHANDLE* b) { return L_MedianFilterBitmap(b, 3); },
                 [](BITMAPHANDLE* b) { return L_MedianFilterBitmap(b, 8); },
                 [](BITMAPHANDLE* b) { return L_MedianFilterBitmap(b, 15); },
                 [](BITMAPHANDLE* b) { return L_SharpenBitmap(b, 1000); },
                 [](BITMAPHANDLE* b) { return L_SharpenBitmap(b, -1000); }, L_DespeckleBitmap,
                 [](BITMAPHANDLE* b) { return L_SpatialFilterBitmap(b, SPATIAL_HIGHPASS_8); },
                 [](BITMAPHANDLE* b) { return L_SpatialFilterBitmap(b, SPATIAL_LOWPASS_MEAN); },
                 [](BITMAPHANDLE* b) {
                     return L_SpatialFilterBitmap(b, SPATIAL_LOWPASS_BINOMIAL);
                 }}) {
            ScopedBitmap flat;
            ASSERT_EQ(Create(flat, 5, 4, bits, order), SUCCESS);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 5; ++x) Store(*flat, y, x, full);
            ASSERT_EQ(operation(flat.get()), SUCCESS);
            for (const std::uint32_t v : Snapshot(*flat)) ASSERT_EQ(v, full) << bits;
        }
    }
}

// Every filter with one set of arguments, for the checks of what must stay untouched.
std::vector<Operation> OneOfEach() {
    return {
        [](BITMAPHANDLE* b) { return L_MedianFilterBitmap(b, 3); },
        [](BITMAPHANDLE* b) { return L_MedianFilterBitmap(b, 6); },
        [](BITMAPHANDLE* b) { return L_SharpenBitmap(b, 1000); },
        L_DespeckleBitmap,
        [](BITMAPHANDLE* b) { return L_SpatialFilterBitmap(b, SPATIAL_HIGHPASS_8); },
        [](BITMAPHANDLE* b) { return L_SpatialFilterBitmap(b, SPATIAL_EMBOSS_N); },
        [](BITMAPHANDLE* b) { return L_EmbossBitmap(b, 4500, 1000); },
        [](BITMAPHANDLE* b) { return L_ContourFilterBitmap(b, 0, 0, 0, CONTOURFILTER_LINK_GRAY); }};
}

TEST(FilterKernels, TwelveBitWordsAboveFullScaleComeBackAtMost4095) {
    for (const Operation& operation : OneOfEach()) {
        TestImage image({12, ORDER_GRAY, "12"}, 7, 5, 9);
        for (int y = 0; y < 5; y += 2) {
            std::uint16_t* row =
                reinterpret_cast<std::uint16_t*>(image->Addr + y * image->BytesPerLine);
            row[y] = 0xFFFF;  // not a 12-bit sample: written past the engine
        }
        ASSERT_EQ(operation(image.get()), SUCCESS);
        for (const std::uint32_t v : Snapshot(*image)) ASSERT_LE(v, 4095u);
    }
}

TEST(FilterKernels, RowPaddingAndSpareBitsAreLeftAlone) {
    for (const Case& test : AllCases()) {
        for (const Operation& operation : OneOfEach()) {
            TestImage image(test.format, 3, 3, 4, test.colourPalette ? ColourPalette() : nullptr);
            BITMAPHANDLE& b = *image;
            // Every bit past the last pixel of a row, the fourth byte of 32-bit pixels, the
            // top bit of RGB555 pixels: a pattern that must survive.
            const int pixelBits = b.BitsPerPixel == 12 ? 16 : b.BitsPerPixel;
            const auto spare = [&](int bit) {
                if (bit >= 3 * pixelBits) return true;
                if (b.BitsPerPixel == 32) return bit % 32 >= 24;
                return b.BitsPerPixel == 16 && b.Order != ORDER_GRAY && bit % 16 == 15;
            };
            const auto pattern = [](int row, int bit) { return (row + bit) % 3 == 0; };
            for (int row = 0; row < 3; ++row) {
                std::uint8_t* bytes = b.Addr + row * b.BytesPerLine;
                for (int bit = 0; bit < b.BytesPerLine * 8; ++bit) {
                    // Bits in memory order: little-endian words, packed indices high bit first.
                    const int mask = pixelBits < 8 ? 0x80 >> (bit % 8) : 1 << (bit % 8);
                    if (!spare(bit)) continue;
                    bytes[bit / 8] = static_cast<std::uint8_t>(
                        pattern(row, bit) ? bytes[bit / 8] | mask : bytes[bit / 8] & ~mask);
                }
            }
            ASSERT_EQ(operation(image.get()), SUCCESS) << test.format.name;
            for (int row = 0; row < 3; ++row) {
                const std::uint8_t* bytes = b.Addr + row * b.BytesPerLine;
                for (int bit = 0; bit < b.BytesPerLine * 8; ++bit) {
                    const int mask = pixelBits < 8 ? 0x80 >> (bit % 8) : 1 << (bit % 8);
                    if (spare(bit)) {
                        ASSERT_EQ((bytes[bit / 8] & mask) != 0, pattern(row, bit))
                            << test.format.name << " row " << row << " bit " << bit;
                    }
                }
            }
        }
    }
}

TEST(FilterArguments, RefusedArgumentsLeaveTheImageAsItWas) {
    const std::vector<Operation> refused = {
        [](BITMAPHANDLE* b) { return L_MedianFilterBitmap(b, 0); },
        [](BITMAPHANDLE* b) { return L_MedianFilterBitmap(b, -3); },
        [](BITMAPHANDLE* b) { return L_MedianFilterBitmap(b, MEDIAN_MAX_DIMENSION + 1); },
        [](BITMAPHANDLE* b) { return L_SharpenBitmap(b, 1001); },
        [](BITMAPHANDLE* b) { return L_SharpenBitmap(b, -1001); },
        [](BITMAPHANDLE* b) { return L_SpatialFilterBitmap(b, -1); },
        [](BITMAPHANDLE* b) { return L_SpatialFilterBitmap(b, SPATIAL_FILTER_COUNT); },
        [](BITMAPHANDLE* b) { return L_SpatialFilterBitmap(b, 99); },
        [](BITMAPHANDLE* b) { return L_EmbossBitmap(b, 36000, 100); },
        [](BITMAPHANDLE* b) { return L_EmbossBitmap(b, 0, 1001); },
        [](BITMAPHANDLE* b) { return L_ContourFilterBitmap(b, -1, 0, 0, 0); },
        [](BITMAPHANDLE* b) { return L_ContourFilterBitmap(b, 0, -1, 0, 0); },
        [](BITMAPHANDLE* b) { return L_ContourFilterBitmap(b, 0, 0, -1, 0); },
        [](BITMAPHANDLE* b) { return L_ContourFilterBitmap(b, 0, 0, 0, 5); },
        [](BITMAPHANDLE* b) { return L_ContourFilterBitmap(b, 0, 0, 0, -1); },
    };
    for (std::size_t i = 0; i < refused.size(); ++i) {
        TestImage image({16, ORDER_GRAY, "16grey"}, 5, 4, 2);
        const auto before = Memory(*image);
        EXPECT_EQ(refused[i](image.get()), ERROR_INV_PARAMETER) << i;
        EXPECT_EQ(Memory(*image), before) << i;
    }
    // A window of one and no change are no work.
    TestImage image({16, ORDER_GRAY, "16grey"}, 5, 4, 2);
    const auto before = Memory(*image);
    EXPECT_EQ(L_MedianFilterBitmap(image.get(), 1), SUCCESS);
    EXPECT_EQ(L_SharpenBitmap(image.get(), 0), SUCCESS);
    EXPECT_EQ(Memory(*image), before);
}

TEST(FilterArguments, NoImageIsAnErrorNotACrash) {
    ScopedBitmap empty;
    for (BITMAPHANDLE* b : {static_cast<BITMAPHANDLE*>(nullptr), empty.get()}) {
        for (const Operation& operation : OneOfEach()) EXPECT_EQ(operation(b), ERROR_NO_BITMAP);
        EXPECT_EQ(L_EmbossBitmap(b, 99999, 99999), ERROR_NO_BITMAP);
    }
}

TEST(FilterEffects, DespeckleRemovesHotPixelsButNotLinesOrEdges) {
    ScopedBitmap b;
    ASSERT_EQ(Create(b, 7, 5, 16, ORDER_GRAY), SUCCESS);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) Store(*b, y, x, x >= 5 ? 9000 : 100);  // an edge at x = 5
    Store(*b, 1, 1, 60000);                                                // a hot pixel
    Store(*b, 3, 2, 50000), Store(*b, 3, 3, 50000);                        // a two-pixel line
    Store(*b, 2, 6, 0);  // a dead pixel on the bright side
    const auto before = Snapshot(*b);
    ASSERT_EQ(L_DespeckleBitmap(b.get()), SUCCESS);
    const auto after = Snapshot(*b);
    EXPECT_EQ(Stored(*b, 1, 1), 100u);
    EXPECT_EQ(Stored(*b, 2, 6), 9000u);
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i != 1 * 7 + 1 && i != 2 * 7 + 6) {
            EXPECT_EQ(after[i], before[i]) << i;
        }
    }
}

TEST(FilterEffects, EmbossShowsAStepAsHalfItsHeightAtDepthHundred) {
    ScopedBitmap b;
    ASSERT_EQ(Create(b, 6, 3, 16, ORDER_GRAY), SUCCESS);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) Store(*b, y, x, x >= 3 ? 1000 : 0);
    ASSERT_EQ(L_EmbossBitmap(b.get(), 27000, 100), SUCCESS);  // light from the left
    // The step rises away from the light: it faces it and comes out bright.
    EXPECT_EQ(Stored(*b, 1, 0), 32768u);
    EXPECT_EQ(Stored(*b, 1, 2), 32768u + 500);
    EXPECT_EQ(Stored(*b, 1, 3), 32768u + 500);
    EXPECT_EQ(Stored(*b, 1, 5), 32768u);
}

// A 12 × 10 image, black with a filled rectangle x 3 … 8, y 3 … 6 at `level` (16-bit).
void Rectangle(ScopedBitmap& b, std::uint32_t level) {
    ASSERT_EQ(Create(b, 12, 10, 16, ORDER_GRAY), SUCCESS);
    for (int y = 3; y <= 6; ++y)
        for (int x = 3; x <= 8; ++x) Store(*b, y, x, level);
}

std::vector<int> ContourColumns(const BITMAPHANDLE& b, int row) {
    std::vector<int> columns;
    for (int x = 0; x < b.Width; ++x)
        if (Stored(b, row, x) != 0) columns.push_back(x);
    return columns;
}

TEST(ContourFilter, ThinOutlinesTheObjectsOutermostPixelsInWhite) {
    ScopedBitmap b;
    Rectangle(b, 40000);
    ASSERT_EQ(L_ContourFilterBitmap(b.get(), 1000, 0, 0, CONTOURFILTER_THIN), SUCCESS);
    for (const int row : {4, 5}) {
        EXPECT_EQ(ContourColumns(*b, row), (std::vector<int>{3, 8})) << row;
        EXPECT_EQ(Stored(*b, row, 3), 65535u);
    }
    EXPECT_EQ(ContourColumns(*b, 3), (std::vector<int>{3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(ContourColumns(*b, 2).empty());
    // A threshold above the step's strength finds nothing.
    ScopedBitmap weak;
    Rectangle(weak, 20000);  // strength 20000 along the sides, 21213 at the corners
    ASSERT_EQ(L_ContourFilterBitmap(weak.get(), 21214, 0, 0, CONTOURFILTER_LINK_BLACKWHITE),
              SUCCESS);
    for (const std::uint32_t v : Snapshot(*weak)) EXPECT_EQ(v, 0u);
}

TEST(ContourFilter, LinkingFollowsWeakerStretchesWithinTheAllowedErrorAndTurn) {
    // A vertical edge at x = 4 whose bright side fades down the image: 20000 in row 0 to 6500 in
    // row 9, turning the gradient a degree or two per row.
    const auto level = [](int y) { return 20000 - 1500 * std::clamp(y, 0, 9); };
    const auto make = [&](ScopedBitmap& b) {
        ASSERT_EQ(Create(b, 8, 10, 16, ORDER_GRAY), SUCCESS);
        for (int y = 0; y < 10; ++y)
            for (int x = 4; x < 8; ++x) Store(*b, y, x, level(y));
    };
    const auto contourRows = [](const BITMAPHANDLE& b) {
        int rows = 0;
        for (int y = 0; y < b.Height; ++y) rows += ContourColumns(b, y) == std::vector<int>{4};
        return rows;
    };
    ScopedBitmap strongOnly, linked, noTurn, grey;
    make(strongOnly), make(linked), make(noTurn), make(grey);
    ASSERT_EQ(L_ContourFilterBitmap(strongOnly.get(), 15000, 180, 0, CONTOURFILTER_LINK_BLACKWHITE),
              SUCCESS);
    ASSERT_EQ(L_ContourFilterBitmap(linked.get(), 15000, 10, 10000, CONTOURFILTER_LINK_BLACKWHITE),
              SUCCESS);
    ASSERT_EQ(L_ContourFilterBitmap(noTurn.get(), 15000, 0, 10000, CONTOURFILTER_LINK_BLACKWHITE),
              SUCCESS);
    EXPECT_EQ(contourRows(*strongOnly), 4);  // rows 0 … 3 reach 15000
    EXPECT_EQ(contourRows(*linked), 10);
    EXPECT_EQ(contourRows(*noTurn), 4);
    // LINK_GRAY: the step height across the pixel, floor(√(gx² + gy²) / 4).
    ASSERT_EQ(L_ContourFilterBitmap(grey.get(), 15000, 10, 10000, CONTOURFILTER_LINK_GRAY),
              SUCCESS);
    for (const int y : {0, 5, 9}) {
        const double gx = level(y - 1) + 2 * level(y) + level(y + 1);
        const double gy = 3.0 * (level(y + 1) - level(y - 1));
        EXPECT_EQ(Stored(*grey, y, 4), static_cast<std::uint32_t>(std::sqrt(gx * gx + gy * gy) / 4))
            << y;
    }
}

TEST(ContourFilter, ColourOptionsPaintTheDirectionOrKeepTheColour) {
    // A bright band x 3 … 5: its left contour has the gradient pointing right (0°, red), its
    // right contour pointing left (180°, cyan).
    ScopedBitmap b, own;
    const std::uint32_t orange = Rgb(250, 200, 10);
    for (ScopedBitmap* image : {&b, &own}) {
        ASSERT_EQ(Create(*image, 9, 4, 24, ORDER_BGR), SUCCESS);
        for (int y = 0; y < 4; ++y)
            for (int x = 3; x < 6; ++x)
                ASSERT_EQ(L_PutPixelColor(image->get(), y, x, orange), SUCCESS);
    }
    ASSERT_EQ(L_ContourFilterBitmap(b.get(), 50, 0, 0, CONTOURFILTER_LINK_COLOR), SUCCESS);
    ASSERT_EQ(ContourColumns(*b, 1), (std::vector<int>{3, 5}));
    EXPECT_EQ(L_GetPixelColor(b.get(), 1, 3), Rgb(255, 0, 0));
    EXPECT_EQ(L_GetPixelColor(b.get(), 1, 5), Rgb(0, 255, 255));
    ASSERT_EQ(L_ContourFilterBitmap(own.get(), 50, 0, 0, CONTOURFILTER_APPROX_COLOR), SUCCESS);
    ASSERT_EQ(ContourColumns(*own, 1), (std::vector<int>{3, 5}));
    EXPECT_EQ(L_GetPixelColor(own.get(), 1, 3), orange);
    EXPECT_EQ(L_GetPixelColor(own.get(), 1, 4), 0u);
}

TEST(ContourFilter, EveryDepthGetsAWhiteOutline) {
    for (const Case& test : AllCases()) {
        ScopedBitmap b;
        ASSERT_EQ(Create(b, 10, 8, test.format.bits, test.format.order,
                         test.colourPalette ? ColourPalette() : nullptr),
                  SUCCESS);
        ASSERT_EQ(L_FillBitmap(b.get(), 0), SUCCESS);
        for (int y = 2; y <= 5; ++y)
            for (int x = 3; x <= 6; ++x)
                ASSERT_EQ(L_PutPixelColor(b.get(), y, x, 0xFFFFFF), SUCCESS);
        const Space space = SpaceOf(*b);
        const std::uint32_t black = Encode(*b, std::vector<unsigned>(space.channels, 0), 0);
        const std::uint32_t white = Encode(*b, std::vector<unsigned>(space.channels, space.max), 0);
        ASSERT_EQ(L_ContourFilterBitmap(b.get(), 1, 0, 0, CONTOURFILTER_LINK_BLACKWHITE), SUCCESS);
        int outline = 0;
        for (int x = 0; x < 10; ++x) {
            const std::uint32_t v = Stored(*b, 3, x);
            EXPECT_TRUE(v == black || v == white) << test.format.name << " " << x;
            outline += v == white;
        }
        EXPECT_EQ(outline, 2) << test.format.name;
        EXPECT_EQ(Stored(*b, 0, 0), black);
    }
}

}  // namespace
