// The burned-in texts: where they land, the depth each member leaves, the log lines, and that
// pixels outside the text keep their exact values.
#include <gtest/gtest.h>

#include <random>

#include "engine/Effects.h"
#include "engine/Kernel.h"
#include "engine/Processing.h"
#include "platform/gdi/Font.h"
#include "tests/control/ControlFixture.h"
#include "tests/overlay/OverlayFixture.h"

namespace {

using namespace overlaytest;

// The marks' steps done literally on a copy: separate, draw into one plane, merge, make it 16-bit
// grey when asked. Grey images take a shortcut in the members that must give the same pixels.
template <class Draw>
std::vector<std::uint32_t> ThroughSeparation(const BITMAPHANDLE& source, unsigned mode, int plane,
                                             bool toGrey16, Draw&& draw) {
    ScopedBitmap copy;
    EXPECT_EQ(L_CopyBitmap(copy.get(), &source, BITMAPHANDLE_STRUCT_SIZE), SUCCESS);
    ScopedBitmap planes[4];
    BITMAPHANDLE* handles[4] = {planes[0].get(), planes[1].get(), planes[2].get(), planes[3].get()};
    EXPECT_EQ(L_ColorSeparateBitmap(copy.get(), handles, BITMAPHANDLE_STRUCT_SIZE, mode), SUCCESS);
    {
        ScopedLeadDC dc(handles[plane]);
        draw(dc.get());
    }
    EXPECT_EQ(L_ColorMergeBitmap(copy.get(), handles, BITMAPHANDLE_STRUCT_SIZE, mode), SUCCESS);
    if (toGrey16) {
        EXPECT_EQ(L_GrayScaleBitmap(copy.get(), 16), SUCCESS);
    }
    return Samples(*copy);
}

TEST(BurnedInText, GreyImagesGetTheSamePixelsAsThroughASeparation) {
    for (int bits : {8, 12, 16}) {
        const std::uint32_t max = bits == 8 ? 255 : bits == 12 ? 4095 : 65535;
        std::mt19937 random(bits);
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        SetImage(c, 320, 90, bits, ORDER_GRAY, [&](int, int) { return random() % (max + 1); });
        ScopedBitmap original;
        ASSERT_EQ(L_CopyBitmap(original.get(), &c.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE),
                  SUCCESS);

        const auto watermarkFont =
            Font::Create("Comic Sans MS", FontHeightFromPoints(320 / 50 + 6, 96), false);
        const TextExtent mark = watermarkFont->Measure("Wj 42");
        const RECT markBox{320 - mark.cx - 10, 90 - mark.cy - 10, 310, 80};
        const auto expectedMark =
            ThroughSeparation(*original, COLORSEP_CMYK, 3, bits == 16, [&](HDC dc) {
                L_EfxDraw3dText(dc, "Wj 42", &markBox, 0x110, 0, 0, 0xFA6432, 0, 0xFFFFFF,
                                watermarkFont.get(), nullptr);
            });
        ASSERT_EQ(control->PutWaterMark(BStr::FromUtf8("Wj 42").get()), S_OK);
        EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, bits);
        EXPECT_TRUE(Samples(c.CurrentBitmap) == expectedMark) << bits;

        L_FreeBitmap(&c.CurrentBitmap);
        ASSERT_EQ(L_CopyBitmap(&c.CurrentBitmap, original.get(), BITMAPHANDLE_STRUCT_SIZE),
                  SUCCESS);
        const auto sideFont = Font::Create("Arial", FontHeightFromPoints(18, 96), false);
        const TextExtent l = sideFont->Measure("Lg"), r = sideFont->Measure("Rq");
        const RECT leftBox{10, 85 - l.cy, l.cx + 10, 85}, rightBox{310 - r.cx, 85 - r.cy, 310, 85};
        const auto expectedSides = ThroughSeparation(*original, COLORSEP_HLS, 1, true, [&](HDC dc) {
            L_EfxDraw3dText(dc, "Lg", &leftBox, 0x117, 0, 0, 0xFFFFFF, 0, 0, sideFont.get(),
                            nullptr);
            L_EfxDraw3dText(dc, "Rq", &rightBox, 0x117, 0, 0, 0xFFFFFF, 0, 0, sideFont.get(),
                            nullptr);
        });
        LONG value = 0;
        ASSERT_EQ(control->RenderLR(18, 5, BStr::FromUtf8("Rq").get(), BStr::FromUtf8("Lg").get(),
                                    0, &value),
                  S_OK);
        EXPECT_TRUE(Samples(c.CurrentBitmap) == expectedSides) << bits;
    }
}

TEST(PutWaterMark, FontSizeFollowsTheWidthAndTextEndsTenPixelsIn) {
    for (int width : {49, 50, 1000}) {
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        SetImage(c, width, 120, 16, ORDER_GRAY, [](int, int) { return 0u; });
        CapturedLog log;
        ASSERT_EQ(control->PutWaterMark(BStr::FromUtf8("WW").get()), S_OK);
        const int points = width / 50 + 6;
        const auto font = Font::Create("Comic Sans MS", FontHeightFromPoints(points, 96), false);
        const TextExtent extent = font->Measure("WW");
        EXPECT_EQ(log.lines().back(), "axLumora.PutWaterMark, Width:" + std::to_string(width - 10) +
                                          ", Height:110\r\n");
        const Box ink = ChangedBox(c.CurrentBitmap, 0);
        ASSERT_FALSE(ink.Empty()) << width;
        EXPECT_NEAR(ink.right, width - 10, 2) << width;
        EXPECT_NEAR(ink.left, std::max(0, width - 10 - extent.cx), 2) << width;
        EXPECT_LE(ink.bottom, 110) << width;
        EXPECT_GE(ink.top, 110 - extent.cy) << width;
    }
}

TEST(PutWaterMark, SixteenBitGreyStaysSixteenBitAndKeepsEveryOtherSample) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    std::mt19937 random(5);
    SetImage(c, 300, 200, 16, ORDER_GRAY, [&](int, int) { return random() & 0xFFFF; });
    const auto before = Samples(c.CurrentBitmap);
    ASSERT_EQ(control->PutWaterMark(BStr::FromUtf8("axLumora").get()), S_OK);
    EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, 16);
    EXPECT_EQ(c.CurrentBitmap.Order, ORDER_GRAY);
    const auto after = Samples(c.CurrentBitmap);
    const Box ink = DifferenceBox(before, after, 300);
    ASSERT_FALSE(ink.Empty());
    EXPECT_GT(ink.left, 150);
    EXPECT_GT(ink.top, 150);
    EXPECT_LE(ink.right, 290);
    EXPECT_LE(ink.bottom, 190);
}

TEST(PutWaterMark, OtherDepthsAreNotTurnedGrey) {
    for (int bits : {8, 24}) {
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        SetImage(c, 200, 100, bits, bits == 8 ? ORDER_GRAY : ORDER_BGR,
                 [](int x, int) { return x; });
        ASSERT_EQ(control->PutWaterMark(BStr::FromUtf8("mark").get()), S_OK);
        EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, bits);
    }
    // A colour image that only holds greys stays a colour image.
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SetImage(c, 200, 100, 24, ORDER_RGB, [](int x, int) { return x * 0x010101u; });
    ASSERT_EQ(control->PutWaterMark(BStr::FromUtf8("mark").get()), S_OK);
    EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, 24);
    EXPECT_EQ(c.CurrentBitmap.Order, ORDER_RGB);
    auto empty = NewControl();
    EXPECT_EQ(empty->PutWaterMark(BStr::FromUtf8("x").get()), S_OK);
}

TEST(RenderLR, AlwaysLeavesSixteenBitGreyWithTxtROnTheLeft) {
    for (int bits : {8, 16, 24}) {
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        SetImage(c, 400, 200, bits, bits == 24 ? ORDER_BGR : ORDER_GRAY,
                 [](int, int) { return 0u; });
        CapturedLog log;
        LONG value = 99;
        ASSERT_EQ(control->RenderLR(14, 0, BStr::FromUtf8("RIGHT").get(), BStr::FromUtf8("L").get(),
                                    0, &value),
                  S_OK);
        EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, 16) << bits;
        EXPECT_EQ(c.CurrentBitmap.Order, ORDER_GRAY) << bits;
        const auto font = Font::Create("Arial", FontHeightFromPoints(14, 96), false);
        const TextExtent left = font->Measure("L"), right = font->Measure("RIGHT");
        ASSERT_GE(log.lines().size(), 2u);
        EXPECT_EQ(log.lines()[log.lines().size() - 2],
                  "axLumora.RenderLR, Width:" + std::to_string(left.cx + 10) + ", Height:200\r\n");
        EXPECT_EQ(log.lines().back(), "axLumora.RenderLR, Width:390, Height:200\r\n");
        // White text on black: the left mark is narrow (TxtR = "L"), the right one wide.
        const Box leftInk = ChangedBox(c.CurrentBitmap, 0, 0, 200);
        const Box rightInk = ChangedBox(c.CurrentBitmap, 0, 200, 400);
        ASSERT_FALSE(leftInk.Empty());
        ASSERT_FALSE(rightInk.Empty());
        EXPECT_NEAR(leftInk.left, 10, 3);
        EXPECT_LT(leftInk.right - leftInk.left, right.cx / 2);
        EXPECT_NEAR(rightInk.right, 390, 4);
        EXPECT_GT(rightInk.bottom, 200 - 6);
        EXPECT_EQ(MaxSample(c.CurrentBitmap), 65535u) << bits;
    }
}

TEST(RenderLR, ExtraPixelsRaiseBothTextsAndGreyKeepsItsBits) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    std::mt19937 random(9);
    SetImage(c, 400, 200, 16, ORDER_GRAY, [&](int, int) { return random() & 0xFFFF; });
    const auto before = Samples(c.CurrentBitmap);
    CapturedLog log;
    LONG value = 0;
    ASSERT_EQ(control->RenderLR(12, 20, BStr::FromUtf8("left").get(), BStr::FromUtf8("right").get(),
                                0, &value),
              S_OK);
    EXPECT_EQ(log.lines().back(), "axLumora.RenderLR, Width:390, Height:180\r\n");
    const Box ink = DifferenceBox(before, Samples(c.CurrentBitmap), 400);
    ASSERT_FALSE(ink.Empty());
    EXPECT_LE(ink.bottom, 180 + 4);  // the outline reaches a little below the box
    EXPECT_GT(ink.top, 140);
}

TEST(AddTextToBottom, BandOverTheLastRowsOrAddedBelow) {
    const auto font = Font::Create("Arial Unicode MS", FontHeightFromPoints(10, 96), false);
    const int th = font->Measure("caption").cy;
    for (bool addSpace : {false, true}) {
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        SetImage(c, 300, 100, 16, ORDER_GRAY, [](int x, int y) { return 1000u + x + 7 * y; });
        LONG value = 0;
        ASSERT_EQ(control->AddTextToBottom(BStr::FromUtf8("caption").get(), ToVariantBool(addSpace),
                                           VARIANT_FALSE, 0, &value),
                  S_OK);
        EXPECT_EQ(value, 1);
        EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, 16);
        EXPECT_EQ(c.CurrentBitmap.Order, ORDER_GRAY);
        const int height = addSpace ? 100 + th + 2 : 100;
        EXPECT_EQ(c.CurrentBitmap.Height, height);
        EXPECT_EQ(c.CurrentBitmap.Width, 300);
        const int bandTop = height - th - 2;
        // The image above the band keeps every sample.
        for (int y = 0; y < bandTop; ++y)
            for (int x = 0; x < 300; x += 7)
                ASSERT_EQ(Sample(c.CurrentBitmap, x, y), 1000u + x + 7 * y);
        // The band: black but for the text, which starts 2 pixels in and keeps a row free.
        const Box ink = ChangedBox(c.CurrentBitmap, 0, 0, 300, bandTop, height);
        ASSERT_FALSE(ink.Empty());
        EXPECT_NEAR(ink.left, 2, 2);
        EXPECT_GT(ink.top, bandTop);
        EXPECT_LT(ink.bottom, height);
        EXPECT_EQ(Sample(c.CurrentBitmap, 299, height - 1), 0u);
        if (addSpace) {
            EXPECT_EQ(c.DstRect.Bottom - c.DstRect.Top, height);
        }
    }
}

TEST(AddTextToBottom, CentresTheCaptionAndSetsTheDepth) {
    struct Case {
        int bits, order, resultBits;
    } cases[] = {{8, ORDER_GRAY, 24},
                 {12, ORDER_GRAY, 16},
                 {16, ORDER_GRAY, 16},
                 {24, ORDER_BGR, 24},
                 {24, ORDER_RGB, 24}};
    for (const Case& k : cases) {
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        SetImage(c, 1200, 60, k.bits, k.order, [](int, int) { return 0u; });
        LONG value = 0;
        ASSERT_EQ(control->AddTextToBottom(BStr::FromUtf8("centred caption").get(), VARIANT_TRUE,
                                           VARIANT_TRUE, 0, &value),
                  S_OK);
        EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, k.resultBits) << k.bits;
        // 1200 pixels wide: an 11-point font.
        const auto font = Font::Create("Arial Unicode MS", FontHeightFromPoints(11, 96), false);
        const TextExtent extent = font->Measure("centred caption");
        EXPECT_EQ(c.CurrentBitmap.Height, 60 + extent.cy + 2) << k.bits;
        const Box ink = ChangedBox(c.CurrentBitmap, 0);
        EXPECT_NEAR(ink.left, (1200 - extent.cx) / 2, 3) << k.bits;
        EXPECT_NEAR(ink.right, (1200 - extent.cx) / 2 + extent.cx, 3) << k.bits;
    }
}

TEST(AddTextToBottom, TwelveBitSamplesAreRescaledNotCut) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SetImage(c, 50, 50, 12, ORDER_GRAY, [](int x, int) { return x == 0 ? 4095u : 1u; });
    LONG value = 0;
    ASSERT_EQ(
        control->AddTextToBottom(BStr::FromUtf8("x").get(), VARIANT_TRUE, VARIANT_FALSE, 0, &value),
        S_OK);
    EXPECT_EQ(Sample(c.CurrentBitmap, 0, 0), 65535u);
    EXPECT_EQ(Sample(c.CurrentBitmap, 1, 0), 16u);
}

TEST(AddTextToBottom, EmptyControlKeepsNothingAndReportsTheFailure) {
    auto control = NewControl();
    CapturedLog log;
    LONG value = 0;
    ASSERT_EQ(
        control->AddTextToBottom(BStr::FromUtf8("x").get(), VARIANT_TRUE, VARIANT_TRUE, 0, &value),
        S_OK);
    EXPECT_NE(value, 1);
    EXPECT_EQ(Impl(control).CurrentBitmap.Addr, nullptr);
    EXPECT_EQ(log.lines().front().rfind("axLumora.AddTextToBottom, L_CreateBitmap:", 0), 0u);
}

TEST(BurnedInText, HostileTextsAndSizesEndCleanly) {
    const std::string longText(10000, 'x');
    for (int bits : {1, 8, 12, 16, 24, 32}) {
        for (const std::string& text :
             {std::string(), longText, std::string("\xE2\x9C\x93 \xF0\x9F\xA6\xB7")}) {
            auto control = NewControl();
            TaxLumora& c = Impl(control);
            SetImage(c, 60, 40, bits, bits >= 24 ? ORDER_BGR : ORDER_GRAY,
                     [](int x, int y) { return x ^ y; });
            const BStr t = BStr::FromUtf8(text);
            LONG value = 0;
            EXPECT_EQ(control->PutWaterMark(t.get()), S_OK);
            for (LONG size : {0, -12, 5000})
                EXPECT_EQ(control->RenderLR(size, 1000000, t.get(), t.get(), 0, &value), S_OK);
            EXPECT_EQ(control->AddTextToBottom(t.get(), VARIANT_FALSE, VARIANT_TRUE, 0, &value),
                      S_OK);
            EXPECT_EQ(control->AddTextToBottom(t.get(), VARIANT_TRUE, VARIANT_FALSE, 0, &value),
                      S_OK);
            EXPECT_NE(c.CurrentBitmap.Addr, nullptr);
        }
    }
}

}  // namespace
