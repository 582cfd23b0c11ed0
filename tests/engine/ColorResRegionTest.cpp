// Colour resolution (depth conversion, palettes) and rectangular regions limiting the fill.
#include <functional>
#include <set>

#include "engine/Processing.h"
#include "engine/kernel/BitmapStorage.h"
#include "platform/gdi/Gdi.h"
#include "tests/engine/TestBitmaps.h"

using namespace enginetest;

namespace {

int ColorRes(BITMAPHANDLE& source, BITMAPHANDLE& destination, int bits, unsigned flags,
             const RGBQUAD* palette = nullptr, unsigned colors = 0) {
    return L_ColorResBitmap(&source, &destination, BITMAPHANDLE_STRUCT_SIZE, bits, flags, palette,
                            nullptr, colors, nullptr, nullptr);
}

std::uint32_t Distance(std::uint32_t a, std::uint32_t b) {
    std::uint32_t total = 0;
    for (int shift : {0, 8, 16}) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        total += static_cast<std::uint32_t>(d * d);
    }
    return total;
}

std::uint32_t Luma(std::uint32_t c) {
    return (299 * (c & 0xFF) + 587 * ((c >> 8) & 0xFF) + 114 * (c >> 16) + 500) / 1000;
}

// Every pixel of the palette image shows the entry nearest to the original's colour (for a
// palette of greys: nearest to its luma); returns the summed squared error.
std::uint64_t ExpectNearestEntries(const BITMAPHANDLE& original, const BITMAPHANDLE& converted) {
    const std::uint32_t entries = 1u << converted.BitsPerPixel;
    bool greys = true;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const RGBQUAD& e = converted.pPalette[i];
        greys = greys && e.rgbRed == e.rgbGreen && e.rgbGreen == e.rgbBlue;
    }
    std::uint64_t error = 0;
    for (int row = 0; row < original.Height; ++row) {
        for (int col = 0; col < original.Width; ++col) {
            std::uint32_t colour = L_GetPixelColor(&original, row, col);
            if (greys) colour = Luma(colour) * 0x010101u;
            std::uint32_t best = UINT32_MAX;
            for (std::uint32_t i = 0; i < entries; ++i) {
                const RGBQUAD& e = converted.pPalette[i];
                best = std::min(best, Distance(colour, Rgb(e.rgbRed, e.rgbGreen, e.rgbBlue)));
            }
            const std::uint32_t shown = L_GetPixelColor(&converted, row, col);
            EXPECT_EQ(Distance(colour, shown), best) << row << "," << col;
            error += best;
        }
    }
    return error;
}

}  // namespace

TEST(ColorRes, PromotesDeepGreyTo24BitBgrInPlaceAsTheControlAsks) {
    const std::uint32_t samples16[] = {0, 128, 129, 385, 386, 32767, 32896, 65406, 65407, 65535};
    ScopedBitmap image;
    ASSERT_EQ(Create(image, 5, 2, 16, ORDER_GRAY), SUCCESS);
    for (int i = 0; i < 10; ++i) Store(*image, i / 5, i % 5, samples16[i]);
    image->ViewPerspective = LEFT_BOTTOM;
    image->XResolution = 96;
    image->YResolution = 72;
    const std::size_t live = engine::LiveStorageCount();
    ASSERT_EQ(L_ColorResBitmap(image.get(), image.get(), 164, 24, COLORRES_BYTEORDER_BGR, nullptr,
                               nullptr, 0, nullptr, nullptr),
              SUCCESS);
    EXPECT_EQ(engine::LiveStorageCount(), live);
    EXPECT_EQ(image->BitsPerPixel, 24);
    EXPECT_EQ(image->Order, ORDER_BGR);
    EXPECT_EQ(image->ViewPerspective, LEFT_BOTTOM);
    EXPECT_EQ(image->XResolution, 96);
    EXPECT_EQ(image->YResolution, 72);
    EXPECT_EQ(L_IsGrayScaleBitmap(image.get()), GRAY_NO);
    for (int i = 0; i < 10; ++i) {
        const std::uint32_t byte = (samples16[i] + 128) / 257;
        EXPECT_EQ(Stored(*image, i / 5, i % 5), byte * 0x010101u) << samples16[i];
    }

    const std::uint32_t samples12[] = {0, 8, 9, 2048, 4095};
    const std::uint32_t bytes12[] = {0, 0, 1, 128, 255};  // v · 255 / 4095 rounded
    ScopedBitmap twelve;
    ASSERT_EQ(Create(twelve, 5, 1, 12, ORDER_GRAY), SUCCESS);
    for (int i = 0; i < 5; ++i) Store(*twelve, 0, i, samples12[i]);
    ASSERT_EQ(ColorRes(*twelve, *twelve, 24, COLORRES_BYTEORDER_BGR), SUCCESS);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Stored(*twelve, 0, i), bytes12[i] * 0x010101u);
}

TEST(ColorRes, ConvertsBetweenGreyDepthsAndColourFormats) {
    TestImage colour({24, ORDER_BGR, "24"}, 7, 3, 77);
    ScopedBitmap grey, rgb32, rgb555, deep, back;
    ASSERT_EQ(ColorRes(*colour, *grey, 8, COLORRES_BYTEORDER_GRAY), SUCCESS);
    EXPECT_EQ(grey->Order, ORDER_GRAY);
    EXPECT_EQ(L_IsGrayScaleBitmap(grey.get()), GRAY_ORDEREDNORMAL);
    ASSERT_EQ(ColorRes(*colour, *rgb32, 32, COLORRES_BYTEORDER_RGB), SUCCESS);
    EXPECT_EQ(rgb32->Order, ORDER_RGB);
    ASSERT_EQ(ColorRes(*colour, *rgb555, 16, 0), SUCCESS);
    EXPECT_EQ(rgb555->Order, ORDER_RGB);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 7; ++col) {
            const std::uint32_t c = L_GetPixelColor(colour.get(), row, col);
            const std::uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = c >> 16;
            EXPECT_EQ(Stored(*grey, row, col), Luma(c));
            EXPECT_EQ(L_GetPixelColor(rgb32.get(), row, col), c);
            const auto five = [](std::uint32_t v) { return (v * 31 + 127) / 255; };
            EXPECT_EQ(Stored(*rgb555, row, col), five(r) << 10 | five(g) << 5 | five(b));
        }
    }

    // Grey between depths: exact rescaling; a grey source stays grey at 16 bits.
    ASSERT_EQ(ColorRes(*grey, *deep, 16, 0), SUCCESS);
    EXPECT_EQ(deep->Order, ORDER_GRAY);
    ASSERT_EQ(ColorRes(*deep, *back, 8, 0), SUCCESS);
    EXPECT_EQ(back->Order, ORDER_GRAY);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 7; ++col) {
            EXPECT_EQ(Stored(*deep, row, col), Stored(*grey, row, col) * 257);
            EXPECT_EQ(Stored(*back, row, col), Stored(*grey, row, col));
        }
    }
    const auto before = Snapshot(*grey);
    ASSERT_EQ(ColorRes(*grey, *grey, 12, COLORRES_BYTEORDER_GRAY), SUCCESS);
    EXPECT_EQ(grey->BitsPerPixel, 12);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(Stored(*grey, static_cast<int>(i / 7), static_cast<int>(i % 7)),
                  (before[i] * 4095 + 127) / 255);
    }

    // Grey to one bit without a palette flag: the two-level ramp, split at mid-grey.
    ScopedBitmap ramp, bilevel;
    ASSERT_EQ(Create(ramp, 2, 1, 8, ORDER_GRAY), SUCCESS);
    Store(*ramp, 0, 0, 127);
    Store(*ramp, 0, 1, 128);
    ASSERT_EQ(ColorRes(*ramp, *bilevel, 1, 0), SUCCESS);
    EXPECT_EQ(L_IsGrayScaleBitmap(bilevel.get()), GRAY_ORDEREDNORMAL);
    EXPECT_EQ(Stored(*bilevel, 0, 0), 0u);
    EXPECT_EQ(Stored(*bilevel, 0, 1), 1u);
}

TEST(ColorRes, PaletteDepthsTakeTheNearestEntryOfTheChosenPalette) {
    TestImage colour({24, ORDER_RGB, "24"}, 31, 9, 5);
    for (int bits : {1, 4, 8}) {
        ScopedBitmap fixed;
        ASSERT_EQ(ColorRes(*colour, *fixed, bits, COLORRES_FIXED_PALETTE), SUCCESS);
        if (bits > 1) {
            EXPECT_EQ(L_IsGrayScaleBitmap(fixed.get()), GRAY_NO) << bits;
        }
        ExpectNearestEntries(*colour, *fixed);
    }
    ScopedBitmap cube;
    ASSERT_EQ(ColorRes(*colour, *cube, 8, 0), SUCCESS);  // colour without a flag: fixed
    EXPECT_EQ(cube->pPalette[0xE0].rgbRed, 255);         // index r·32 + g·4 + b
    EXPECT_EQ(cube->pPalette[0xE0].rgbGreen, 0);
    EXPECT_EQ(cube->pPalette[0x03].rgbBlue, 255);
    ScopedBitmap netscape;
    ASSERT_EQ(ColorRes(*colour, *netscape, 8, COLORRES_NETSCAPE_PALETTE), SUCCESS);
    EXPECT_EQ(netscape->pPalette[215].rgbRed, 255);
    EXPECT_EQ(netscape->pPalette[43].rgbGreen, 51);  // 1·36 + 1·6 + 1
    ExpectNearestEntries(*colour, *netscape);

    const RGBQUAD user[3] = {{0, 0, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}};
    ScopedBitmap mine;
    ASSERT_EQ(ColorRes(*colour, *mine, 4, COLORRES_USER_PALETTE, user, 3), SUCCESS);
    std::set<std::uint32_t> used;
    for (std::uint32_t v : Snapshot(*mine)) used.insert(v);
    EXPECT_TRUE(used.size() <= 3 && *used.rbegin() <= 2u);
    ExpectNearestEntries(*colour, *mine);
    ScopedBitmap none;
    EXPECT_EQ(ColorRes(*colour, *none, 4, COLORRES_USER_PALETTE, nullptr, 3), ERROR_INV_PARAMETER);
    EXPECT_EQ(ColorRes(*colour, *none, 1, COLORRES_USER_PALETTE, user, 3), ERROR_INV_PARAMETER);
}

TEST(ColorRes, OptimizedPaletteKeepsFewColoursExactlyAndFitsManyBetter) {
    const std::uint32_t few[] = {Rgb(10, 20, 30), Rgb(200, 0, 0), Rgb(201, 0, 0), Rgb(0, 0, 0),
                                 Rgb(255, 255, 254)};
    ScopedBitmap image, indexed, back;
    ASSERT_EQ(Create(image, 5, 3, 24, ORDER_BGR), SUCCESS);
    for (int i = 0; i < 15; ++i) L_PutPixelColor(image.get(), i / 5, i % 5, few[(i * 7) % 5]);
    ASSERT_EQ(ColorRes(*image, *indexed, 4, COLORRES_OPTIMIZED_PALETTE), SUCCESS);
    ASSERT_EQ(ColorRes(*indexed, *back, 24, COLORRES_BYTEORDER_BGR), SUCCESS);
    EXPECT_EQ(Snapshot(*back), Snapshot(*image));

    // Many colours in a few tinted clusters: the cut palette beats the fixed one.
    ScopedBitmap tinted;
    ASSERT_EQ(Create(tinted, 40, 30, 24, ORDER_BGR), SUCCESS);
    std::mt19937 random(3);
    for (int row = 0; row < 30; ++row) {
        for (int col = 0; col < 40; ++col) {
            const std::uint32_t base[3][3] = {{90, 60, 40}, {170, 150, 120}, {40, 70, 110}};
            const auto* b = base[random() % 3];
            L_PutPixelColor(tinted.get(), row, col,
                            Rgb(b[0] + random() % 24, b[1] + random() % 24, b[2] + random() % 24));
        }
    }
    ScopedBitmap cut, fixed;
    ASSERT_EQ(ColorRes(*tinted, *cut, 4, COLORRES_OPTIMIZED_PALETTE), SUCCESS);
    ASSERT_EQ(ColorRes(*tinted, *fixed, 4, COLORRES_FIXED_PALETTE), SUCCESS);
    const std::uint64_t cutError = ExpectNearestEntries(*tinted, *cut);
    const std::uint64_t fixedError = ExpectNearestEntries(*tinted, *fixed);
    EXPECT_LT(cutError * 10, fixedError);
    // colors limits the entries the cut may use.
    ScopedBitmap three;
    ASSERT_EQ(ColorRes(*tinted, *three, 8, COLORRES_OPTIMIZED_PALETTE, nullptr, 3), SUCCESS);
    std::set<std::uint32_t> used;
    for (std::uint32_t v : Snapshot(*three)) used.insert(v);
    EXPECT_EQ(used.size(), 3u);
}

TEST(ColorRes, RefusesBadRequestsAndKeepsTheSource) {
    TestImage image({16, ORDER_GRAY, "16"}, 3, 2);
    const auto before = Snapshot(*image);
    ScopedBitmap destination, empty;
    EXPECT_EQ(ColorRes(*image, *destination, 7, 0), ERROR_BITPERPIXEL);
    EXPECT_EQ(ColorRes(*image, *destination, 0, 0), ERROR_BITPERPIXEL);
    EXPECT_EQ(ColorRes(*empty, *destination, 24, 0), ERROR_NO_BITMAP);
    EXPECT_EQ(L_ColorResBitmap(nullptr, destination.get(), 164, 24, 0, nullptr, nullptr, 0, nullptr,
                               nullptr),
              ERROR_NO_BITMAP);
    EXPECT_EQ(L_ColorResBitmap(image.get(), destination.get(), 1, 24, 0, nullptr, nullptr, 0,
                               nullptr, nullptr),
              ERROR_INV_STRUCT_SIZE);
    EXPECT_EQ(destination->Addr, nullptr);

    ASSERT_EQ(ColorRes(*image, *destination, 24, 0), SUCCESS);
    EXPECT_EQ(Snapshot(*image), before);
    EXPECT_EQ(image->BitsPerPixel, 16);
    EXPECT_EQ(destination->Order, ORDER_RGB);
}

// ---- Regions ------------------------------------------------------------------------------

namespace {

constexpr std::uint32_t kMark = 0x000000FF;  // red

// Fills a white image's region red and reports which memory pixels changed.
std::vector<bool> FilledPixels(BITMAPHANDLE& bitmap) {
    std::vector<bool> filled;
    for (int row = 0; row < bitmap.Height; ++row) {
        for (int col = 0; col < bitmap.Width; ++col) {
            filled.push_back(L_GetPixelColor(&bitmap, row, col) == kMark);
        }
    }
    return filled;
}

std::vector<bool> Expected(int width, int height, const std::function<bool(int, int)>& inside) {
    std::vector<bool> result;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) result.push_back(inside(x, y));
    }
    return result;
}

bool In(const RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

class RegionFill : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Create(image_, 9, 7, 24, ORDER_BGR), SUCCESS);
        ASSERT_EQ(L_FillBitmap(image_.get(), 0xFFFFFF), SUCCESS);
    }
    std::vector<bool> Fill() {
        EXPECT_EQ(L_FillBitmap(image_.get(), kMark), SUCCESS);
        return FilledPixels(*image_);
    }
    int Set(RECT rect, unsigned mode) {
        return L_SetBitmapRgnRect(image_.get(), nullptr, &rect, mode);
    }
    ScopedBitmap image_;
};

}  // namespace

TEST_F(RegionFill, SetAndSetNotLimitTheFillToInsideOrOutside) {
    const RECT rect{2, 1, 5, 4};
    ASSERT_EQ(Set(rect, L_RGN_SET), SUCCESS);
    EXPECT_EQ(L_BitmapHasRgn(image_.get()), 1);
    EXPECT_EQ(Fill(), Expected(9, 7, [&](int x, int y) { return In(rect, x, y); }));

    ASSERT_EQ(L_FillBitmap(image_.get(), 0xFFFFFF), SUCCESS);
    ASSERT_EQ(Set(rect, L_RGN_SETNOT), SUCCESS);
    EXPECT_EQ(Fill(), Expected(9, 7, [&](int x, int y) { return !In(rect, x, y); }));

    ASSERT_EQ(L_FreeBitmapRgn(image_.get()), SUCCESS);
    EXPECT_EQ(L_BitmapHasRgn(image_.get()), 0);
    EXPECT_EQ(Fill(), std::vector<bool>(63, true));
    EXPECT_EQ(L_FreeBitmapRgn(image_.get()), SUCCESS);  // none left: still fine
}

TEST_F(RegionFill, RectanglesAreCutToTheImage) {
    const RECT partly{-3, 5, 4, 100};
    ASSERT_EQ(Set(partly, L_RGN_SET), SUCCESS);
    EXPECT_EQ(Fill(), Expected(9, 7, [&](int x, int y) { return In(partly, x, y); }));

    // Wholly outside, empty or inverted: an empty region, which fills nothing.
    for (const RECT nothing : {RECT{9, 0, 20, 7}, RECT{3, 3, 3, 6}, RECT{5, 5, 2, 2},
                               RECT{INT32_MIN, INT32_MIN, INT32_MIN + 1, INT32_MIN + 1}}) {
        ASSERT_EQ(L_FillBitmap(image_.get(), 0xFFFFFF), SUCCESS);  // white again
        ASSERT_EQ(Set(nothing, L_RGN_SET), SUCCESS);
        EXPECT_EQ(L_BitmapHasRgn(image_.get()), 1);
        EXPECT_EQ(Fill(), std::vector<bool>(63, false));
        ASSERT_EQ(L_FreeBitmapRgn(image_.get()), SUCCESS);
    }
    // The image without a rectangle covering it is empty too; without one wholly outside, all.
    ASSERT_EQ(Set(RECT{-1, -1, 10, 8}, L_RGN_SETNOT), SUCCESS);
    EXPECT_EQ(Fill(), std::vector<bool>(63, false));
    ASSERT_EQ(Set(RECT{20, 20, 30, 30}, L_RGN_SETNOT), SUCCESS);
    EXPECT_EQ(Fill(), std::vector<bool>(63, true));
}

TEST_F(RegionFill, ModesCombineTheRectangleWithTheRegion) {
    const RECT a{1, 1, 6, 5}, b{4, 3, 8, 7};
    struct Case {
        unsigned mode;
        std::function<bool(bool inA, bool inB)> inside;
    };
    const Case cases[] = {
        {L_RGN_AND, [](bool inA, bool inB) { return inA && inB; }},
        {L_RGN_SET, [](bool, bool inB) { return inB; }},
        {L_RGN_ANDNOTBITMAP, [](bool inA, bool inB) { return inB && !inA; }},
        {L_RGN_ANDNOTRGN, [](bool inA, bool inB) { return inA && !inB; }},
        {L_RGN_OR, [](bool inA, bool inB) { return inA || inB; }},
        {L_RGN_XOR, [](bool inA, bool inB) { return inA != inB; }},
        {L_RGN_SETNOT, [](bool, bool inB) { return !inB; }},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(L_FillBitmap(image_.get(), 0xFFFFFF), SUCCESS);
        ASSERT_EQ(L_FreeBitmapRgn(image_.get()), SUCCESS);
        ASSERT_EQ(L_FillBitmap(image_.get(), 0xFFFFFF), SUCCESS);
        ASSERT_EQ(Set(a, L_RGN_SET), SUCCESS);
        ASSERT_EQ(Set(b, c.mode), SUCCESS);
        EXPECT_EQ(Fill(),
                  Expected(9, 7, [&](int x, int y) { return c.inside(In(a, x, y), In(b, x, y)); }))
            << "mode " << c.mode;
    }
    // Without a region the current one counts as empty.
    ASSERT_EQ(L_FreeBitmapRgn(image_.get()), SUCCESS);
    ASSERT_EQ(L_FillBitmap(image_.get(), 0xFFFFFF), SUCCESS);
    ASSERT_EQ(Set(b, L_RGN_OR), SUCCESS);
    EXPECT_EQ(Fill(), Expected(9, 7, [&](int x, int y) { return In(b, x, y); }));
    ASSERT_EQ(L_FreeBitmapRgn(image_.get()), SUCCESS);
    ASSERT_EQ(L_FillBitmap(image_.get(), 0xFFFFFF), SUCCESS);
    ASSERT_EQ(Set(b, L_RGN_AND), SUCCESS);
    EXPECT_EQ(Fill(), std::vector<bool>(63, false));

    EXPECT_EQ(Set(a, 7), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_SetBitmapRgnRect(image_.get(), nullptr, nullptr, L_RGN_SET), ERROR_INV_PARAMETER);
    const int identity[6] = {1, 0, 0, 1, 0, 0};
    EXPECT_EQ(L_SetBitmapRgnRect(image_.get(), identity, &a, L_RGN_SET),
              ERROR_FEATURE_NOT_SUPPORTED);
    ScopedBitmap empty;
    EXPECT_EQ(L_SetBitmapRgnRect(empty.get(), nullptr, &a, L_RGN_SET), ERROR_NO_BITMAP);
    EXPECT_EQ(L_FreeBitmapRgn(nullptr), ERROR_NO_BITMAP);
    EXPECT_EQ(L_FreeBitmapRgn(empty.get()), ERROR_NO_BITMAP);
}

TEST_F(RegionFill, CopiesKeepTheRegionAndFreeingDropsIt) {
    const RECT rect{0, 2, 9, 3};
    ASSERT_EQ(Set(rect, L_RGN_SET), SUCCESS);
    ScopedBitmap copy;
    ASSERT_EQ(L_CopyBitmap(copy.get(), image_.get(), BITMAPHANDLE_STRUCT_SIZE), SUCCESS);
    EXPECT_EQ(L_BitmapHasRgn(copy.get()), 1);
    ASSERT_EQ(L_FillBitmap(copy.get(), kMark), SUCCESS);
    EXPECT_EQ(FilledPixels(*copy), Expected(9, 7, [&](int x, int y) { return In(rect, x, y); }));

    ASSERT_EQ(L_FreeBitmapRgn(copy.get()), SUCCESS);
    EXPECT_EQ(L_BitmapHasRgn(copy.get()), 0);
    EXPECT_EQ(L_BitmapHasRgn(image_.get()), 1);  // each bitmap has its own
    ASSERT_EQ(L_FreeBitmap(image_.get()), SUCCESS);
    EXPECT_EQ(L_BitmapHasRgn(image_.get()), 0);
    ASSERT_EQ(Create(image_, 9, 7, 24, ORDER_BGR), SUCCESS);
    EXPECT_EQ(L_BitmapHasRgn(image_.get()), 0);
    // An operation that replaces the image leaves the region behind.
    ASSERT_EQ(Set(rect, L_RGN_SET), SUCCESS);
    ASSERT_EQ(L_GrayScaleBitmap(image_.get(), 8), SUCCESS);
    EXPECT_EQ(L_BitmapHasRgn(image_.get()), 0);
}

TEST(Region, FollowsTheViewPerspectiveAndFillsPackedPixels) {
    for (const Format& format : AllFormats()) {
        for (int perspective : {TOP_LEFT, BOTTOM_RIGHT, RIGHT_TOP, LEFT_BOTTOM}) {
            const std::string what = std::string(format.name) + " " + std::to_string(perspective);
            TestImage image(format, 11, 6, 4);
            image->ViewPerspective = perspective;
            const auto before = DisplayedImage(*image);
            const RECT rect{1, 2, 4, 5};  // displayed
            ASSERT_EQ(L_SetBitmapRgnRect(image.get(), nullptr, &rect, L_RGN_SET), SUCCESS);
            ASSERT_EQ(L_FillBitmap(image.get(), 0), SUCCESS);
            ScopedBitmap zero;
            ASSERT_EQ(L_CopyBitmap(zero.get(), image.get(), 164), SUCCESS);
            ASSERT_EQ(L_FreeBitmapRgn(zero.get()), SUCCESS);
            ASSERT_EQ(L_FillBitmap(zero.get(), 0), SUCCESS);
            const std::uint32_t black = Stored(*zero, 0, 0);
            const int width = DisplayedWidth(*image);
            for (int y = 0; y < DisplayedHeight(*image); ++y) {
                for (int x = 0; x < width; ++x) {
                    ASSERT_EQ(Displayed(*image, x, y),
                              In(rect, x, y) ? black : before[y * width + x])
                        << what << " at " << x << "," << y;
                }
            }
            EXPECT_TRUE(PaddingIsZero(*image)) << what;
        }
    }
}

TEST(Region, BandOverALargeImageFillsOnlyTheBand) {
    // The caption band of a burned-in text: everything below the image rows, on a large bitmap.
    ScopedBitmap band;
    ASSERT_EQ(Create(band, 2000, 1566, 24, ORDER_BGR), SUCCESS);
    ASSERT_EQ(L_FillBitmap(band.get(), 0xFFFFFF), SUCCESS);
    const RECT image{0, 0, 2000, 1540};
    ASSERT_EQ(L_SetBitmapRgnRect(band.get(), nullptr, &image, L_RGN_SETNOT), SUCCESS);
    ASSERT_EQ(L_FillBitmap(band.get(), 0), SUCCESS);
    ASSERT_EQ(L_FreeBitmapRgn(band.get()), SUCCESS);
    for (int row : {0, 1539, 1540, 1565}) {
        for (int col : {0, 1999}) {
            EXPECT_EQ(L_GetPixelColor(band.get(), row, col), row >= 1540 ? 0u : 0xFFFFFFu)
                << row << "," << col;
        }
    }
}
