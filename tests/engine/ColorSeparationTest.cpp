// Colour separation into planes and merging back: exact round trips for grey at every depth and
// for colour in RGB, CMY and CMYK, edits of single planes, and refused arguments.
#include <array>

#include "engine/Processing.h"
#include "engine/kernel/BitmapStorage.h"
#include "tests/engine/TestBitmaps.h"

using namespace enginetest;

namespace {

const unsigned kModes[] = {COLORSEP_RGB, COLORSEP_CMYK, COLORSEP_HLS, COLORSEP_HSV, COLORSEP_CMY};

struct Planes {
    std::array<ScopedBitmap, 4> bitmaps;
    std::array<BITMAPHANDLE*, 4> handles{bitmaps[0].get(), bitmaps[1].get(), bitmaps[2].get(),
                                         bitmaps[3].get()};
    BITMAPHANDLE& operator[](int i) { return *handles[i]; }
};

int Separate(const BITMAPHANDLE& bitmap, Planes& planes, unsigned mode) {
    return L_ColorSeparateBitmap(&bitmap, planes.handles.data(), BITMAPHANDLE_STRUCT_SIZE, mode);
}
int Merge(BITMAPHANDLE& bitmap, Planes& planes, unsigned mode) {
    return L_ColorMergeBitmap(&bitmap, planes.handles.data(), BITMAPHANDLE_STRUCT_SIZE, mode);
}

}  // namespace

TEST(ColorSeparation, GreyRoundTripsExactlyAtItsOwnDepthInEveryMode) {
    for (const Format format :
         {Format{8, ORDER_GRAY, "8"}, Format{12, ORDER_GRAY, "12"}, Format{16, ORDER_GRAY, "16"}}) {
        for (unsigned mode : kModes) {
            const std::string what = std::string(format.name) + " mode " + std::to_string(mode);
            TestImage image(format, 7, 5, 3 + mode);
            image->ViewPerspective = RIGHT_TOP;
            image->XResolution = 300;
            const auto before = Snapshot(*image);
            Planes planes;
            ASSERT_EQ(Separate(*image, planes, mode), SUCCESS) << what;
            for (int i = 0; i < (mode == COLORSEP_CMYK ? 4 : 3); ++i) {
                EXPECT_EQ(planes[i].BitsPerPixel, format.bits) << what;
                EXPECT_EQ(planes[i].Order, ORDER_GRAY) << what;
                EXPECT_EQ(planes[i].ViewPerspective, RIGHT_TOP) << what;
                EXPECT_EQ(planes[i].XResolution, 300) << what;
            }
            ASSERT_EQ(Merge(*image, planes, mode), SUCCESS) << what;
            EXPECT_EQ(image->BitsPerPixel, format.bits) << what;
            EXPECT_EQ(image->Order, ORDER_GRAY) << what;
            EXPECT_EQ(image->ViewPerspective, RIGHT_TOP) << what;
            EXPECT_EQ(image->XResolution, 300) << what;
            EXPECT_NE(L_IsGrayScaleBitmap(image.get()), GRAY_NO) << what;
            EXPECT_EQ(Snapshot(*image), before) << what;
        }
    }
}

TEST(ColorSeparation, GreyPlanesHoldTheLevelsOfEachModel) {
    TestImage image({16, ORDER_GRAY, "16"}, 5, 3, 8);
    Store(*image, 0, 0, 0);
    Store(*image, 0, 1, 65535);
    const auto levels = Snapshot(*image);
    const auto expectPlanes = [&](unsigned mode, auto expected) {
        Planes planes;
        ASSERT_EQ(Separate(*image, planes, mode), SUCCESS);
        for (int i = 0; i < (mode == COLORSEP_CMYK ? 4 : 3); ++i) {
            const auto values = Snapshot(planes[i]);
            for (std::size_t p = 0; p < levels.size(); ++p) {
                ASSERT_EQ(values[p], expected(i, levels[p])) << "mode " << mode << " plane " << i;
            }
        }
    };
    const std::uint32_t m = 65535;
    expectPlanes(COLORSEP_RGB, [](int, std::uint32_t g) { return g; });
    expectPlanes(COLORSEP_CMYK, [&](int i, std::uint32_t g) { return i == 3 ? m - g : 0; });
    expectPlanes(COLORSEP_CMY, [&](int, std::uint32_t g) { return m - g; });
    expectPlanes(COLORSEP_HLS, [](int i, std::uint32_t g) { return i == 1 ? g : 0; });
    expectPlanes(COLORSEP_HSV, [](int i, std::uint32_t g) { return i == 2 ? g : 0; });

    // Grey palettes of 1 and 4 bits separate into 8-bit levels.
    TestImage packed({4, ORDER_GRAY, "4"}, 3, 2, 9);
    Planes planes;
    ASSERT_EQ(Separate(*packed, planes, COLORSEP_RGB), SUCCESS);
    EXPECT_EQ(planes[0].BitsPerPixel, 8);
    EXPECT_EQ(Stored(planes[0], 1, 2), Stored(*packed, 1, 2) * 17);
}

TEST(ColorSeparation, ColourRoundTripsExactlyInRgbCmyAndCmyk) {
    for (const Format format : {Format{24, ORDER_BGR, "24bgr"}, Format{24, ORDER_RGB, "24rgb"}}) {
        for (unsigned mode : {COLORSEP_RGB, COLORSEP_CMY, COLORSEP_CMYK}) {
            const std::string what = std::string(format.name) + " mode " + std::to_string(mode);
            TestImage image(format, 9, 4, 17 + mode);
            const auto before = Snapshot(*image);
            Planes planes;
            ASSERT_EQ(Separate(*image, planes, mode), SUCCESS) << what;
            EXPECT_EQ(planes[0].BitsPerPixel, 8) << what;
            ASSERT_EQ(Merge(*image, planes, mode), SUCCESS) << what;
            EXPECT_EQ(image->BitsPerPixel, 24) << what;
            EXPECT_EQ(image->Order, format.order) << what;  // the bitmap's colour order is kept
            EXPECT_EQ(Snapshot(*image), before) << what;
        }
    }
}

TEST(ColorSeparation, CmykRemovesTheWholeUnderColour) {
    ScopedBitmap image;
    ASSERT_EQ(Create(image, 3, 1, 24, ORDER_BGR), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(image.get(), 0, 0, Rgb(200, 100, 50)), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(image.get(), 0, 1, Rgb(0, 0, 0)), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(image.get(), 0, 2, Rgb(255, 255, 255)), SUCCESS);
    Planes planes;
    ASSERT_EQ(Separate(*image, planes, COLORSEP_CMYK), SUCCESS);
    const std::uint32_t expected[3][4] = {{0, 100, 150, 55}, {0, 0, 0, 255}, {0, 0, 0, 0}};
    for (int x = 0; x < 3; ++x) {
        for (int i = 0; i < 4; ++i) EXPECT_EQ(Stored(planes[i], 0, x), expected[x][i]) << x;
    }
}

TEST(ColorSeparation, HueModelsRoundTripColourWithinRounding) {
    // Every colour of a coarse cube, corners and near-greys included.
    ScopedBitmap image;
    const int steps = 52;  // levels 0, 5 … 255
    ASSERT_EQ(Create(image, steps * steps, steps, 24, ORDER_BGR), SUCCESS);
    for (int r = 0; r < steps; ++r) {
        for (int g = 0; g < steps; ++g) {
            for (int b = 0; b < steps; ++b) {
                L_PutPixelColor(image.get(), r, g * steps + b, Rgb(r * 5, g * 5, b * 5));
            }
        }
    }
    L_PutPixelColor(image.get(), 0, 1, Rgb(1, 0, 0));
    L_PutPixelColor(image.get(), 0, 2, Rgb(254, 255, 255));
    const auto before = Snapshot(*image);
    for (unsigned mode : {COLORSEP_HLS, COLORSEP_HSV}) {
        ScopedBitmap copy;
        ASSERT_EQ(L_CopyBitmap(copy.get(), image.get(), BITMAPHANDLE_STRUCT_SIZE), SUCCESS);
        Planes planes;
        ASSERT_EQ(Separate(*copy, planes, mode), SUCCESS);
        // Pure red, green and blue sit at hues 0, 85 and 171 of the 256-step circle.
        EXPECT_EQ(Stored(planes[0], 51, 0), 0u);           // (255, 0, 0)
        EXPECT_EQ(Stored(planes[0], 0, 51 * steps), 85u);  // (0, 255, 0)
        EXPECT_EQ(Stored(planes[0], 0, 51), 171u);         // (0, 0, 255)
        ASSERT_EQ(Merge(*copy, planes, mode), SUCCESS);
        ASSERT_EQ(copy->BitsPerPixel, 24);
        const auto after = Snapshot(*copy);
        int largest = 0;
        for (std::size_t p = 0; p < before.size(); ++p) {
            for (int shift : {0, 8, 16}) {
                const int was = (before[p] >> shift) & 0xFF, now = (after[p] >> shift) & 0xFF;
                largest = std::max(largest, std::abs(was - now));
            }
        }
        // Measured over the whole 8-bit cube: HLS differs by at most 4 levels, HSV by 3.
        EXPECT_LE(largest, mode == COLORSEP_HLS ? 4 : 3) << "mode " << mode;
        EXPECT_EQ(after[0], before[0]) << "black";
        EXPECT_EQ(after[before.size() - 1], before[before.size() - 1]) << "white";
    }
}

TEST(ColorSeparation, EditingOnePlaneOfDeepGreyChangesOnlyThosePixels) {
    struct Case {
        unsigned mode;
        int plane;
        std::uint32_t (*level)(std::uint32_t edited);  // the grey the edit means
    };
    const Case cases[] = {
        {COLORSEP_CMYK, 3, [](std::uint32_t k) { return 65535 - k; }},
        {COLORSEP_HLS, 1, [](std::uint32_t l) { return l; }},
        {COLORSEP_HSV, 2, [](std::uint32_t v) { return v; }},
    };
    for (const Case& c : cases) {
        TestImage image({16, ORDER_GRAY, "16"}, 6, 4, 40);
        auto expected = Snapshot(*image);
        Planes planes;
        ASSERT_EQ(Separate(*image, planes, c.mode), SUCCESS);
        for (const auto [row, col, value] :
             {std::array<int, 3>{0, 0, 1}, {2, 5, 40000}, {3, 1, 65535}}) {
            Store(planes[c.plane], row, col, static_cast<std::uint32_t>(value));
            expected[row * 6 + col] = c.level(static_cast<std::uint32_t>(value));
        }
        ASSERT_EQ(Merge(*image, planes, c.mode), SUCCESS);
        EXPECT_EQ(image->BitsPerPixel, 16) << "mode " << c.mode;
        EXPECT_EQ(image->Order, ORDER_GRAY) << "mode " << c.mode;
        EXPECT_EQ(Snapshot(*image), expected) << "mode " << c.mode;
    }
}

TEST(ColorSeparation, ColourInDeepPlanesMergesToColourAt8Bits) {
    ScopedBitmap image;
    ASSERT_EQ(Create(image, 2, 1, 16, ORDER_GRAY), SUCCESS);
    Store(*image, 0, 0, 65535);
    Store(*image, 0, 1, 32896);  // 128 × 257
    Planes planes;
    ASSERT_EQ(Separate(*image, planes, COLORSEP_CMYK), SUCCESS);
    Store(planes[0], 0, 1, 257 * 100);  // cyan on the second pixel: no longer grey
    ASSERT_EQ(Merge(*image, planes, COLORSEP_CMYK), SUCCESS);
    EXPECT_EQ(image->BitsPerPixel, 24);
    EXPECT_EQ(image->Order, ORDER_BGR);
    EXPECT_EQ(L_GetPixelColor(image.get(), 0, 0), Rgb(255, 255, 255));
    // K = 127 at 8 bits: R = max(0, 255 − 100 − 127).
    EXPECT_EQ(L_GetPixelColor(image.get(), 0, 1), Rgb(28, 128, 128));

    // CMYK grey with ink in all three colour planes: (M − c)(M − K) / M.
    ScopedBitmap grey;
    ASSERT_EQ(Create(grey, 1, 1, 8, ORDER_GRAY), SUCCESS);
    Planes inked;
    ASSERT_EQ(Separate(*grey, inked, COLORSEP_CMYK), SUCCESS);
    for (int i = 0; i < 3; ++i) Store(inked[i], 0, 0, 55);
    Store(inked[3], 0, 0, 100);
    ASSERT_EQ(Merge(*grey, inked, COLORSEP_CMYK), SUCCESS);
    EXPECT_EQ(grey->BitsPerPixel, 8);
    EXPECT_EQ(Stored(*grey, 0, 0), 122u);  // 200 × 155 / 255 = 121.6
}

TEST(ColorSeparation, RefusesBadArgumentsWithoutLeaking) {
    TestImage image({24, ORDER_BGR, "24"}, 3, 3);
    const std::size_t live = engine::LiveStorageCount();
    Planes planes;
    EXPECT_EQ(L_ColorSeparateBitmap(nullptr, planes.handles.data(), 164, 0), ERROR_NO_BITMAP);
    EXPECT_EQ(L_ColorSeparateBitmap(image.get(), planes.handles.data(), 100, 0),
              ERROR_INV_STRUCT_SIZE);
    EXPECT_EQ(Separate(*image, planes, 5), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_ColorSeparateBitmap(image.get(), nullptr, 164, 0), ERROR_INV_PARAMETER);
    BITMAPHANDLE* repeated[3] = {planes.handles[0], planes.handles[0], planes.handles[1]};
    EXPECT_EQ(L_ColorSeparateBitmap(image.get(), repeated, 164, 0), ERROR_INV_PARAMETER);
    BITMAPHANDLE* itself[3] = {planes.handles[0], image.get(), planes.handles[1]};
    EXPECT_EQ(L_ColorSeparateBitmap(image.get(), itself, 164, 0), ERROR_INV_PARAMETER);
    BITMAPHANDLE* three[4] = {planes.handles[0], planes.handles[1], planes.handles[2], nullptr};
    EXPECT_EQ(L_ColorSeparateBitmap(image.get(), three, 164, COLORSEP_CMYK), ERROR_INV_PARAMETER);
    ScopedBitmap empty;
    EXPECT_EQ(Separate(*empty, planes, 0), ERROR_NO_BITMAP);
    EXPECT_EQ(engine::LiveStorageCount(), live);

    ASSERT_EQ(Separate(*image, planes, COLORSEP_RGB), SUCCESS);
    const auto before = Snapshot(*image);
    ScopedBitmap other;
    ASSERT_EQ(Create(other, 3, 2, 8, ORDER_GRAY), SUCCESS);
    BITMAPHANDLE* wrongSize[3] = {planes.handles[0], other.get(), planes.handles[2]};
    EXPECT_EQ(L_ColorMergeBitmap(image.get(), wrongSize, 164, 0), ERROR_INV_PARAMETER);
    ScopedBitmap deeper;
    ASSERT_EQ(Create(deeper, 3, 3, 16, ORDER_GRAY), SUCCESS);
    BITMAPHANDLE* wrongDepth[3] = {planes.handles[0], deeper.get(), planes.handles[2]};
    EXPECT_EQ(L_ColorMergeBitmap(image.get(), wrongDepth, 164, 0), ERROR_INV_PARAMETER);
    planes[1].ViewPerspective = BOTTOM_LEFT;
    EXPECT_EQ(Merge(*image, planes, COLORSEP_RGB), ERROR_INV_PARAMETER);
    planes[1].ViewPerspective = TOP_LEFT;
    BITMAPHANDLE* intoPlane[3] = {planes.handles[0], planes.handles[1], image.get()};
    EXPECT_EQ(L_ColorMergeBitmap(image.get(), intoPlane, 164, 0), ERROR_INV_PARAMETER);
    EXPECT_EQ(Merge(*image, planes, COLORSEP_CMYK), ERROR_NO_BITMAP);  // plane 4 holds nothing
    EXPECT_EQ(Snapshot(*image), before);

    // Merging into an empty record makes the image there.
    ScopedBitmap fresh;
    ASSERT_EQ(Merge(*fresh, planes, COLORSEP_RGB), SUCCESS);
    EXPECT_EQ(Snapshot(*fresh), before);
}
