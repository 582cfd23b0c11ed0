// Single-pixel reads and writes and fills: stored layout of every depth, colour conversions,
// the 16-bit grey marker, and refusal of bad coordinates and buffers.
#include "tests/engine/TestBitmaps.h"

using namespace enginetest;

TEST(PixelAccess, PixelDataSitsWhereTheLayoutSays) {
    ScopedBitmap one, four, grey16, bgr24;
    ASSERT_EQ(Create(one, 9, 2, 1, ORDER_GRAY), SUCCESS);
    Store(*one, 1, 2, 1);  // most significant bit first
    Store(*one, 1, 8, 1);
    EXPECT_EQ(one->Addr[one->BytesPerLine], 0x20);
    EXPECT_EQ(one->Addr[one->BytesPerLine + 1], 0x80);

    ASSERT_EQ(Create(four, 3, 1, 4, ORDER_GRAY), SUCCESS);
    Store(*four, 0, 1, 0xB);
    Store(*four, 0, 2, 0x7);
    EXPECT_EQ(four->Addr[0], 0x0B);
    EXPECT_EQ(four->Addr[1], 0x70);

    ASSERT_EQ(Create(grey16, 3, 2, 16, ORDER_GRAY), SUCCESS);
    Store(*grey16, 1, 2, 0xBEEF);
    EXPECT_EQ(grey16->Addr[8 + 4], 0xEF);  // host order, little-endian
    EXPECT_EQ(grey16->Addr[8 + 5], 0xBE);

    ASSERT_EQ(Create(bgr24, 3, 2, 24, ORDER_BGR), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(bgr24.get(), 1, 2, Rgb(0x11, 0x22, 0x33)), SUCCESS);
    const std::uint8_t* pixel = bgr24->Addr + bgr24->BytesPerLine + 6;
    EXPECT_EQ(pixel[0], 0x33);
    EXPECT_EQ(pixel[1], 0x22);
    EXPECT_EQ(pixel[2], 0x11);
}

TEST(PixelAccess, RefusesBadCoordinatesBuffersAndHandles) {
    ScopedBitmap grey16, empty;
    ASSERT_EQ(Create(grey16, 5, 3, 16, ORDER_GRAY), SUCCESS);
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(L_GetPixelData(grey16.get(), buffer, 0, 0, 1), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(L_PutPixelData(grey16.get(), buffer, 0, 0, 1), ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(L_GetPixelData(grey16.get(), nullptr, 0, 0, 4), ERROR_INV_PARAMETER);
    const int badPlaces[][2] = {{-1, 0}, {0, -1}, {3, 0}, {0, 5}, {1 << 30, 1 << 30}};
    for (const auto& place : badPlaces) {
        EXPECT_EQ(L_GetPixelData(grey16.get(), buffer, place[0], place[1], 4), ERROR_INV_RANGE);
        EXPECT_EQ(L_PutPixelData(grey16.get(), buffer, place[0], place[1], 4), ERROR_INV_RANGE);
        EXPECT_EQ(L_PutPixelColor(grey16.get(), place[0], place[1], 0), ERROR_INV_RANGE);
        EXPECT_EQ(L_GetPixelColor(grey16.get(), place[0], place[1]), 0u);
    }
    EXPECT_EQ(L_GetPixelData(nullptr, buffer, 0, 0, 4), ERROR_NO_BITMAP);
    EXPECT_EQ(L_PutPixelColor(empty.get(), 0, 0, 0), ERROR_NO_BITMAP);
    EXPECT_EQ(L_GetPixelColor(nullptr, 0, 0), 0u);
}

TEST(PixelAccess, GreyMarkerCarriesTheSampleOfDeepGreyImages) {
    ScopedBitmap grey16, grey12;
    ASSERT_EQ(Create(grey16, 2, 2, 16, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(grey16.get(), 1, 1, COLOR_GRAY16_MARKER | 0x1234), SUCCESS);
    EXPECT_EQ(Stored(*grey16, 1, 1), 0x1234u);
    EXPECT_EQ(L_GetPixelColor(grey16.get(), 1, 1), COLOR_GRAY16_MARKER | 0x1234);
    // Without the marker a colour stands for its grey level, scaled to the full range.
    ASSERT_EQ(L_PutPixelColor(grey16.get(), 0, 0, Rgb(128, 128, 128)), SUCCESS);
    EXPECT_EQ(Stored(*grey16, 0, 0), 128u * 257);
    ASSERT_EQ(L_PutPixelColor(grey16.get(), 0, 1, Rgb(255, 255, 255)), SUCCESS);
    EXPECT_EQ(Stored(*grey16, 0, 1), 65535u);

    ASSERT_EQ(Create(grey12, 2, 1, 12, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(grey12.get(), 0, 0, Rgb(255, 255, 255)), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(grey12.get(), 0, 1, Rgb(128, 128, 128)), SUCCESS);
    EXPECT_EQ(Stored(*grey12, 0, 0), 4095u);
    EXPECT_EQ(Stored(*grey12, 0, 1), 2056u);  // 128 × 4095 / 255 = 2055.5…, rounded
    EXPECT_EQ(L_GetPixelColor(grey12.get(), 0, 0), COLOR_GRAY16_MARKER | 4095);
    // 12-bit words above 4095 are clamped, whichever way they come.
    Store(*grey12, 0, 1, 0xFFFF);
    EXPECT_EQ(Stored(*grey12, 0, 1), 4095u);
    ASSERT_EQ(L_PutPixelColor(grey12.get(), 0, 0, COLOR_GRAY16_MARKER | 0x0ABC), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(grey12.get(), 0, 1, COLOR_GRAY16_MARKER | 0x5000), SUCCESS);
    EXPECT_EQ(Stored(*grey12, 0, 0), 0x0ABCu);
    EXPECT_EQ(Stored(*grey12, 0, 1), 4095u);
}

TEST(PixelAccess, ColoursConvertToEachStoredForm) {
    ScopedBitmap rgb24, bgr32, colour16, grey8, one;
    const std::uint32_t colour = Rgb(0x11, 0x22, 0x33);
    ASSERT_EQ(Create(rgb24, 2, 1, 24, ORDER_RGB), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(rgb24.get(), 0, 1, colour), SUCCESS);
    EXPECT_EQ(Stored(*rgb24, 0, 1), 0x332211u);  // bytes R, G, B
    EXPECT_EQ(L_GetPixelColor(rgb24.get(), 0, 1), colour);

    ASSERT_EQ(Create(bgr32, 2, 1, 32, ORDER_BGR), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(bgr32.get(), 0, 0, colour), SUCCESS);
    EXPECT_EQ(Stored(*bgr32, 0, 0), 0x00112233u);  // bytes B, G, R, 0
    EXPECT_EQ(L_GetPixelColor(bgr32.get(), 0, 0), colour);

    ASSERT_EQ(Create(colour16, 2, 1, 16, ORDER_BGR), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(colour16.get(), 0, 0, Rgb(255, 0, 0)), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(colour16.get(), 0, 1, Rgb(0, 0, 255)), SUCCESS);
    EXPECT_EQ(Stored(*colour16, 0, 0), 0x7C00u);
    EXPECT_EQ(Stored(*colour16, 0, 1), 0x001Fu);
    EXPECT_EQ(L_GetPixelColor(colour16.get(), 0, 0), Rgb(255, 0, 0));

    ASSERT_EQ(Create(grey8, 3, 1, 8, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(grey8.get(), 0, 0, Rgb(100, 100, 100)), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(grey8.get(), 0, 1, Rgb(255, 0, 0)), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(grey8.get(), 0, 2, COLOR_GRAY16_MARKER | 0xFF00), SUCCESS);
    EXPECT_EQ(Stored(*grey8, 0, 0), 100u);
    EXPECT_EQ(Stored(*grey8, 0, 1), 76u);   // luma of pure red: 0.299 × 255
    EXPECT_EQ(Stored(*grey8, 0, 2), 254u);  // 0xFF00 / 257, rounded
    EXPECT_EQ(L_GetPixelColor(grey8.get(), 0, 0), Rgb(100, 100, 100));

    ASSERT_EQ(Create(one, 2, 1, 1, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(one.get(), 0, 0, Rgb(200, 200, 200)), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(one.get(), 0, 1, Rgb(50, 50, 50)), SUCCESS);
    EXPECT_EQ(Stored(*one, 0, 0), 1u);
    EXPECT_EQ(Stored(*one, 0, 1), 0u);
    EXPECT_EQ(L_GetPixelColor(one.get(), 0, 0), Rgb(255, 255, 255));
}

TEST(PixelAccess, ColourPaletteImagesTakeTheNearestEntry) {
    RGBQUAD palette[16] = {};
    palette[3] = RGBQUAD{0, 0, 250, 0};   // nearly pure red
    palette[9] = RGBQUAD{240, 10, 0, 0};  // nearly pure blue
    palette[12] = RGBQUAD{128, 128, 128, 0};
    ScopedBitmap four;
    ASSERT_EQ(Create(four, 3, 1, 4, ORDER_BGR, palette), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(four.get(), 0, 0, Rgb(255, 0, 0)), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(four.get(), 0, 1, Rgb(0, 0, 255)), SUCCESS);
    ASSERT_EQ(L_PutPixelColor(four.get(), 0, 2, Rgb(120, 130, 125)), SUCCESS);
    EXPECT_EQ(Stored(*four, 0, 0), 3u);
    EXPECT_EQ(Stored(*four, 0, 1), 9u);
    EXPECT_EQ(Stored(*four, 0, 2), 12u);
    EXPECT_EQ(L_GetPixelColor(four.get(), 0, 0), Rgb(250, 0, 0));
}

// A fill must equal writing the colour pixel by pixel, and leave the row padding alone.
TEST(PixelAccess, FillMatchesPixelWritesAtEveryDepth) {
    const std::uint32_t colours[] = {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(10, 200, 90),
                                     COLOR_GRAY16_MARKER | 0xA5A5};
    for (const Format& format : AllFormats()) {
        for (const Size& size : OddSizes()) {
            for (std::uint32_t colour : colours) {
                TestImage filled(format, size.width, size.height, 5);
                TestImage reference(format, size.width, size.height, 5);
                ASSERT_EQ(L_FillBitmap(filled.get(), colour), SUCCESS);
                for (int row = 0; row < size.height; ++row) {
                    for (int col = 0; col < size.width; ++col) {
                        ASSERT_EQ(L_PutPixelColor(reference.get(), row, col, colour), SUCCESS);
                    }
                }
                EXPECT_EQ(Snapshot(*filled), Snapshot(*reference))
                    << Describe(format, size.width, size.height) << " colour " << colour;
                EXPECT_TRUE(PaddingIsZero(*filled)) << Describe(format, size.width, size.height);
            }
        }
    }
}

TEST(PixelAccess, FillOfPackedRowsKeepsThePaddingBits) {
    ScopedBitmap one;
    ASSERT_EQ(Create(one, 7, 2, 1, ORDER_GRAY), SUCCESS);
    ASSERT_EQ(L_FillBitmap(one.get(), Rgb(255, 255, 255)), SUCCESS);
    EXPECT_EQ(one->Addr[one->BytesPerLine], 0xFE);  // seven pixels; the padding bit stays clear
    EXPECT_EQ(L_FillBitmap(nullptr, 0), ERROR_NO_BITMAP);
}
