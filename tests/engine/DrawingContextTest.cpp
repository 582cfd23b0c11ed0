// Drawing into engine bitmaps: what a context leaves untouched, how colours land at every depth,
// view perspectives, and the text, frame and fill effects.
#include <gtest/gtest.h>

#include <set>

#include "engine/Effects.h"
#include "engine/Kernel.h"
#include "tests/engine/TestBitmaps.h"

namespace {

using namespace enginetest;

// Covers the rectangle with one colour through a context on the bitmap.
int FillRect(BITMAPHANDLE* bitmap, RECT rect, COLORREF color) {
    ScopedLeadDC dc(bitmap);
    return L_EfxPatternFillRect(dc.get(), &rect, EFX_PATTERN_SOLID, color, color);
}

TEST(LeadDC, OnlyCoveredPixelsChangeAtEveryDepth) {
    for (const Format& format : AllFormats()) {
        TestImage image(format, 13, 9, 7);
        const auto before = Snapshot(*image);
        ASSERT_EQ(FillRect(image.get(), RECT{3, 2, 8, 5}, Rgb(200, 40, 90)), SUCCESS);
        const auto after = Snapshot(*image);
        for (int row = 0; row < 9; ++row) {
            for (int col = 0; col < 13; ++col) {
                const bool covered = col >= 3 && col < 8 && row >= 2 && row < 5;
                if (!covered) {
                    EXPECT_EQ(after[row * 13 + col], before[row * 13 + col])
                        << format.name << " " << col << "," << row;
                }
            }
        }
        EXPECT_TRUE(PaddingIsZero(*image)) << format.name;
    }
}

TEST(LeadDC, ColoursLandInTheBitmapsOwnFormat) {
    const COLORREF red = Rgb(255, 0, 0), grey = Rgb(128, 128, 128);
    struct Case {
        int bits, order;
        COLORREF color;
        std::uint32_t stored;
    } cases[] = {
        {24, ORDER_BGR, red, 0xFF0000},  // bytes B, G, R, read little-endian
        {24, ORDER_RGB, red, 0x0000FF},
        {32, ORDER_BGR, red, 0x00FF0000},
        {16, ORDER_GRAY, grey, 128 * 257},
        {16, ORDER_GRAY, Rgb(255, 255, 255), 65535},
        {12, ORDER_GRAY, Rgb(255, 255, 255), 4095},
        {8, ORDER_GRAY, grey, 128},
        {1, ORDER_GRAY, Rgb(255, 255, 255), 1},
    };
    for (const Case& c : cases) {
        ScopedBitmap bitmap;
        ASSERT_EQ(Create(bitmap, 4, 4, c.bits, c.order), SUCCESS);
        ASSERT_EQ(FillRect(bitmap.get(), RECT{1, 1, 2, 2}, c.color), SUCCESS);
        EXPECT_EQ(Stored(*bitmap, 1, 1), c.stored) << c.bits << "/" << c.order;
        EXPECT_EQ(Stored(*bitmap, 0, 0), 0u);
    }
}

TEST(LeadDC, DrawsInDisplayedCoordinates) {
    for (int perspective = 1; perspective <= 8; ++perspective) {
        ScopedBitmap bitmap;
        ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 6, 4, 16,
                                 ORDER_GRAY, nullptr, perspective, nullptr, 0),
                  SUCCESS);
        ASSERT_EQ(FillRect(bitmap.get(), RECT{0, 0, 1, 1}, Rgb(255, 255, 255)), SUCCESS);
        EXPECT_EQ(Displayed(*bitmap, 0, 0), 65535u) << perspective;
        int lit = 0;
        for (auto v : DisplayedImage(*bitmap)) lit += v != 0;
        EXPECT_EQ(lit, 1) << perspective;
    }
}

TEST(LeadDC, NoImageNoContextAndNullContextsAreRefused) {
    ScopedBitmap empty;
    EXPECT_EQ(L_CreateLeadDC(empty.get()), nullptr);
    EXPECT_EQ(L_CreateLeadDC(nullptr), nullptr);
    EXPECT_FALSE(L_DeleteLeadDC(nullptr));
    RECT r{0, 0, 1, 1};
    EXPECT_EQ(L_EfxPatternFillRect(nullptr, &r, 0, 0, 0), ERROR_NO_DC);
    EXPECT_EQ(L_EfxDrawFrame(nullptr, &r, 0, 1, 0, 0, 0, 0, 0, 0, 0), ERROR_NO_DC);
    const auto font = Font::Create("Arial", -12, false);
    EXPECT_EQ(L_EfxDraw3dText(nullptr, "x", &r, 0, 0, 0, 0, 0, 0, font.get(), nullptr),
              ERROR_NO_DC);
}

TEST(LeadDC, DrawingAfterTheImageIsFreedDoesNothing) {
    ScopedBitmap bitmap;
    ASSERT_EQ(Create(bitmap, 8, 8, 24, ORDER_BGR), SUCCESS);
    HDC dc = L_CreateLeadDC(bitmap.get());
    L_FreeBitmap(bitmap.get());
    RECT r{0, 0, 8, 8};
    EXPECT_EQ(L_EfxPatternFillRect(dc, &r, 0, 0xFFFFFF, 0xFFFFFF), SUCCESS);
    EXPECT_TRUE(L_DeleteLeadDC(dc));
}

TEST(LeadDC, InvertingLinesTwiceRestoresDeepGrey) {
    TestImage image(Format{16, ORDER_GRAY, "16"}, 31, 17, 3);
    const auto before = Snapshot(*image);
    for (int pass = 0; pass < 2; ++pass) {
        ScopedLeadDC dc(image.get());
        HPEN pen = CreatePen(PS_SOLID, 3, 0);
        SelectObject(dc.get(), pen);
        SetROP2(dc.get(), R2_NOT);
        MoveToEx(dc.get(), 1, 1, nullptr);
        LineTo(dc.get(), 29, 15);
        DeleteObject(pen);
        if (pass == 0) {
            EXPECT_NE(Snapshot(*image), before);
            EXPECT_EQ(Stored(*image, 1, 1), 65535u - before[1 * 31 + 1]);
        }
    }
    EXPECT_EQ(Snapshot(*image), before);
}

TEST(Frames, PlainFrameIsExactAndNegativeWidthsAreRefused) {
    ScopedBitmap bitmap;
    ASSERT_EQ(Create(bitmap, 20, 20, 24, ORDER_BGR), SUCCESS);
    ScopedLeadDC dc(bitmap.get());
    RECT rect{2, 3, 14, 13};
    ASSERT_EQ(L_EfxDrawFrame(dc.get(), &rect, 0, 2, Rgb(0, 255, 0), 0, 0, 0, 0, 0, 0), SUCCESS);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool inRect = x >= 2 && x < 14 && y >= 3 && y < 13;
            const bool inside = x >= 4 && x < 12 && y >= 5 && y < 11;
            EXPECT_EQ(Stored(*bitmap, y, x), inRect && !inside ? 0x00FF00u : 0u) << x << "," << y;
        }
    }
    EXPECT_EQ(L_EfxDrawFrame(dc.get(), &rect, 0, -1, 0, 0, 0, 0, 0, 0, 0), ERROR_INV_PARAMETER);
    RECT huge{-2000000000, -2000000000, 2000000000, 2000000000};
    EXPECT_EQ(L_EfxDrawFrame(dc.get(), &huge, 0, 1, Rgb(255, 0, 0), 0, 0, 0, 0, 0, 0), SUCCESS);
}

TEST(Frames, BevelsLightTheTopLeftWhenRaised) {
    ScopedBitmap bitmap;
    ASSERT_EQ(Create(bitmap, 12, 12, 8, ORDER_GRAY), SUCCESS);
    ScopedLeadDC dc(bitmap.get());
    RECT rect{0, 0, 12, 12};
    ASSERT_EQ(L_EfxDrawFrame(dc.get(), &rect, EFX_FRAME_OUTER_RAISED, 0, 0, 0, 0, 0, 2,
                             Rgb(250, 250, 250), Rgb(50, 50, 50)),
              SUCCESS);
    EXPECT_EQ(Stored(*bitmap, 0, 5), 250u);  // top
    EXPECT_EQ(Stored(*bitmap, 5, 1), 250u);  // left
    EXPECT_EQ(Stored(*bitmap, 11, 5), 50u);  // bottom
    EXPECT_EQ(Stored(*bitmap, 5, 10), 50u);  // right
    EXPECT_EQ(Stored(*bitmap, 5, 5), 0u);    // inside untouched
}

TEST(PatternFills, HatchesAlternateForegroundAndBackground) {
    ScopedBitmap bitmap;
    ASSERT_EQ(Create(bitmap, 16, 16, 8, ORDER_GRAY), SUCCESS);
    ScopedLeadDC dc(bitmap.get());
    RECT rect{0, 0, 16, 16};
    ASSERT_EQ(L_EfxPatternFillRect(dc.get(), &rect, EFX_PATTERN_CROSS, Rgb(10, 10, 10),
                                   Rgb(200, 200, 200)),
              SUCCESS);
    EXPECT_EQ(Stored(*bitmap, 0, 3), 200u);
    EXPECT_EQ(Stored(*bitmap, 3, 8), 200u);
    EXPECT_EQ(Stored(*bitmap, 3, 3), 10u);
    EXPECT_EQ(L_EfxPatternFillRect(dc.get(), &rect, 7, 0, 0), ERROR_INV_PARAMETER);
    RECT outside{100, 100, 200, 200};
    EXPECT_EQ(L_EfxPatternFillRect(dc.get(), &outside, 0, 0, 0), SUCCESS);
}

// Bounding box of the pixels that differ from value.
RECT ChangedBox(const BITMAPHANDLE& b, std::uint32_t value) {
    RECT box{b.Width, b.Height, -1, -1};
    for (int y = 0; y < b.Height; ++y) {
        for (int x = 0; x < b.Width; ++x) {
            if (Stored(b, y, x) == value) continue;
            box.left = std::min<LONG>(box.left, x);
            box.top = std::min<LONG>(box.top, y);
            box.right = std::max<LONG>(box.right, x + 1);
            box.bottom = std::max<LONG>(box.bottom, y + 1);
        }
    }
    return box;
}

TEST(Text3d, AlignmentPlacesTheTextInItsBox) {
    const auto font = Font::Create("Arial", -20, false);
    const TextExtent extent = font->Measure("Hello");
    const RECT box{20, 10, 180, 70};
    struct Case {
        unsigned flags;
        int expectLeft, expectTop;  // of the text's cell
    } cases[] = {
        {0x000, 20, 10},
        {0x110, 20 + (160 - extent.cx) / 2, 10 + (60 - extent.cy) / 2},
        {0x220, 180 - extent.cx, 70 - extent.cy},
    };
    for (const Case& c : cases) {
        ScopedBitmap bitmap;
        ASSERT_EQ(Create(bitmap, 200, 80, 24, ORDER_BGR), SUCCESS);
        ScopedLeadDC dc(bitmap.get());
        ASSERT_EQ(L_EfxDraw3dText(dc.get(), "Hello", &box, c.flags, 0, 0, 0xFFFFFF, 0, 0,
                                  font.get(), nullptr),
                  SUCCESS);
        const RECT ink = ChangedBox(*bitmap, 0);
        // Ink lies inside the cell, near its left edge, and reaches most of its width.
        EXPECT_GE(ink.left, c.expectLeft) << c.flags;
        EXPECT_LE(ink.left, c.expectLeft + 3) << c.flags;
        EXPECT_GE(ink.top, c.expectTop) << c.flags;
        EXPECT_LE(ink.bottom, c.expectTop + extent.cy) << c.flags;
        EXPECT_GT(ink.right - ink.left, extent.cx * 3 / 4) << c.flags;
    }
}

TEST(Text3d, StylesAddTheirShadowAndHighlightColours) {
    const auto font = Font::Create("Arial", -30, true);
    for (unsigned style = 0; style <= 11; ++style) {
        ScopedBitmap bitmap;
        ASSERT_EQ(Create(bitmap, 160, 60, 24, ORDER_BGR), SUCCESS);
        ASSERT_EQ(L_FillBitmap(bitmap.get(), Rgb(128, 128, 128)), SUCCESS);
        ScopedLeadDC dc(bitmap.get());
        const RECT box{0, 0, 160, 60};
        ASSERT_EQ(L_EfxDraw3dText(dc.get(), "Ab", &box, 0x110 | style, 0, 0, Rgb(255, 0, 0),
                                  Rgb(0, 0, 255), Rgb(0, 255, 0), font.get(), nullptr),
                  SUCCESS);
        std::set<std::uint32_t> colours;
        for (auto v : Snapshot(*bitmap)) colours.insert(v);
        // Stored bytes B, G, R read little-endian: red is 0xFF0000.
        const bool hasText = colours.count(0xFF0000), hasShadow = colours.count(0x0000FF),
                   hasHighlight = colours.count(0x00FF00);
        EXPECT_TRUE(hasText) << style;
        const bool wantsShadow = style != EFX_STYLE_NORMAL;
        const bool wantsHighlight = style != EFX_STYLE_NORMAL && style != EFX_STYLE_DROPSHADOW &&
                                    style != EFX_STYLE_BLOCKSHADOW;
        EXPECT_EQ(hasShadow, wantsShadow) << style;
        EXPECT_EQ(hasHighlight, wantsHighlight) << style;
    }
    ScopedBitmap bitmap;
    ASSERT_EQ(Create(bitmap, 10, 10, 24, ORDER_BGR), SUCCESS);
    ScopedLeadDC dc(bitmap.get());
    const RECT box{0, 0, 10, 10};
    EXPECT_EQ(L_EfxDraw3dText(dc.get(), "x", &box, 12, 0, 0, 0, 0, 0, font.get(), nullptr),
              ERROR_INV_PARAMETER);
}

TEST(Text3d, RotationTurnsTheTextAboutTheBoxCentre) {
    const auto font = Font::Create("Arial", -24, false);
    const RECT box{50, 50, 150, 150};
    auto inkOf = [&](int angle) {
        ScopedBitmap bitmap;
        EXPECT_EQ(Create(bitmap, 200, 200, 8, ORDER_GRAY), SUCCESS);
        ScopedLeadDC dc(bitmap.get());
        EXPECT_EQ(L_EfxDrawRotated3dText(dc.get(), "IIIIIIII", &box, angle, 0x110, 0, 0, 0xFFFFFF,
                                         0, 0, font.get(), nullptr),
                  SUCCESS);
        return ChangedBox(*bitmap, 0);
    };
    const RECT flat = inkOf(0), upright = inkOf(900);
    EXPECT_GT(flat.right - flat.left, flat.bottom - flat.top);
    EXPECT_GT(upright.bottom - upright.top, upright.right - upright.left);
    EXPECT_NEAR((upright.top + upright.bottom) / 2, 100, 3);
    EXPECT_NEAR((upright.left + upright.right) / 2, 100, 3);
}

TEST(Text3d, HostileTextsAndSizesEndCleanly) {
    ScopedBitmap bitmap;
    ASSERT_EQ(Create(bitmap, 64, 32, 16, ORDER_GRAY), SUCCESS);
    ScopedLeadDC dc(bitmap.get());
    const std::string longText(10000, 'M');
    for (int height : {0, -1, 1, -5000 * 96 / 72}) {
        const auto font = Font::Create("Arial", height, false);
        for (const char* text :
             {"", "\xF0\x9F\x98\x80 \xE4\xB8\xAD", "\xFF\xC0", longText.c_str()}) {
            for (RECT box :
                 {RECT{0, 0, 64, 32}, RECT{-2000000000, -2000000000, 2000000000, 2000000000},
                  RECT{50, 50, 10, 10}}) {
                EXPECT_EQ(L_EfxDrawRotated3dText(dc.get(), text, &box, 450, 0x117, 0, 0, 0xFFFFFF,
                                                 0, 0, font.get(), nullptr),
                          SUCCESS);
            }
        }
    }
}

}  // namespace
