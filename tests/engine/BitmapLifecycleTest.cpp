// Creating, copying and freeing bitmaps: layout of every depth, argument checks, ownership.
#include <cstring>

#include "engine/kernel/BitmapStorage.h"
#include "tests/engine/TestBitmaps.h"

using namespace enginetest;

TEST(BitmapLifecycle, InitTurnsGarbageIntoAnEmptyRecord) {
    BITMAPHANDLE bitmap;
    std::memset(&bitmap, 0xAB, sizeof bitmap);
    ASSERT_EQ(L_InitBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0), SUCCESS);
    EXPECT_EQ(bitmap.uStructSize, BITMAPHANDLE_STRUCT_SIZE);
    EXPECT_EQ(bitmap.Addr, nullptr);
    EXPECT_EQ(bitmap.Storage, nullptr);
    EXPECT_EQ(bitmap.pLUT, nullptr);
    EXPECT_EQ(bitmap.LUTLength, 0u);
    EXPECT_EQ(bitmap.HighBit, -1);
    EXPECT_EQ(bitmap.PaintHighBit, -1);
    EXPECT_EQ(bitmap.ViewPerspective, TOP_LEFT);
    EXPECT_EQ(bitmap.Order, 0);

    // Refused descriptions still leave an empty record.
    EXPECT_EQ(L_InitBitmap(nullptr, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0), ERROR_NO_BITMAP);
    EXPECT_EQ(L_InitBitmap(&bitmap, 163, 0, 0, 0), ERROR_INV_STRUCT_SIZE);
    EXPECT_EQ(L_InitBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, 10, 10, 7), ERROR_BITPERPIXEL);
    EXPECT_EQ(L_InitBitmap(&bitmap, BITMAPHANDLE_STRUCT_SIZE, -5, 10, 8), ERROR_INV_SIZE);
    EXPECT_EQ(bitmap.Width, 0);
    EXPECT_EQ(bitmap.Addr, nullptr);
}

TEST(BitmapLifecycle, RowsArePaddedToFourBytesAtEveryDepth) {
    // Strides worked out by hand for widths 1, 3, 5, 7 (12-bit samples take 16-bit words).
    const struct {
        int bits;
        int order;
        int strides[4];
    } cases[] = {{1, ORDER_GRAY, {4, 4, 4, 4}},    {4, ORDER_GRAY, {4, 4, 4, 4}},
                 {8, ORDER_GRAY, {4, 4, 8, 8}},    {12, ORDER_GRAY, {4, 8, 12, 16}},
                 {16, ORDER_GRAY, {4, 8, 12, 16}}, {16, ORDER_RGB, {4, 8, 12, 16}},
                 {24, ORDER_BGR, {4, 12, 16, 24}}, {32, ORDER_RGB, {4, 12, 20, 28}}};
    const int widths[] = {1, 3, 5, 7};
    for (const auto& c : cases) {
        for (int i = 0; i < 4; ++i) {
            ScopedBitmap bitmap;
            ASSERT_EQ(Create(bitmap, widths[i], 3, c.bits, c.order), SUCCESS);
            EXPECT_EQ(bitmap->BytesPerLine, c.strides[i]) << c.bits << " bits, width " << widths[i];
            EXPECT_EQ(bitmap->Size, std::uint64_t(c.strides[i]) * 3);
            EXPECT_TRUE(std::all_of(bitmap->Addr, bitmap->Addr + bitmap->Size,
                                    [](std::uint8_t v) { return v == 0; }));
        }
    }
}

TEST(BitmapLifecycle, CreateResolvesOrderPaletteAndSignificantBits) {
    ScopedBitmap grey8, colour8, grey12, colour16, grey16, rgb24;
    RGBQUAD palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = RGBQUAD{std::uint8_t(i), 0, std::uint8_t(255 - i), 0};

    ASSERT_EQ(Create(grey8, 3, 3, 8, ORDER_BGRORGRAY), SUCCESS);
    EXPECT_EQ(grey8->Order, ORDER_GRAY);
    ASSERT_EQ(grey8->nColors, 256u);
    EXPECT_EQ(grey8->pPalette[200].rgbRed, 200);
    EXPECT_EQ(grey8->HighBit, 7);

    ASSERT_EQ(Create(colour8, 3, 3, 8, ORDER_BGRORGRAY, palette), SUCCESS);
    EXPECT_EQ(colour8->Order, ORDER_BGR);
    EXPECT_NE(colour8->pPalette, palette) << "the palette must be copied";
    EXPECT_EQ(colour8->pPalette[10].rgbBlue, 10);
    EXPECT_EQ(colour8->HighBit, -1);

    ASSERT_EQ(Create(grey12, 3, 3, 12, ORDER_RGB), SUCCESS);
    EXPECT_EQ(grey12->Order, ORDER_GRAY);
    EXPECT_EQ(grey12->LowBit, 0);
    EXPECT_EQ(grey12->HighBit, 11);
    EXPECT_EQ(grey12->MaxVal, 4095);

    ASSERT_EQ(Create(colour16, 3, 3, 16, ORDER_RGB), SUCCESS);
    EXPECT_EQ(colour16->Order, ORDER_RGB);
    ASSERT_EQ(Create(grey16, 3, 3, 16, ORDER_RGBORGRAY), SUCCESS);
    EXPECT_EQ(grey16->Order, ORDER_GRAY);
    EXPECT_EQ(grey16->HighBit, 15);
    ASSERT_EQ(Create(rgb24, 3, 3, 24, ORDER_ROMM), SUCCESS);
    EXPECT_EQ(rgb24->Order, ORDER_RGB);
    EXPECT_EQ(rgb24->XResolution, 150);
}

TEST(BitmapLifecycle, CreateRefusesBadArgumentsWithoutTouchingTheRecord) {
    ScopedBitmap bitmap;
    const unsigned huge = 100000;
    const struct {
        unsigned structSize, width, height, bits, order, perspective;
        int expected;
    } cases[] = {
        {163, 4, 4, 8, 2, 1, ERROR_INV_STRUCT_SIZE},
        {164, 4, 4, 0, 2, 1, ERROR_BITPERPIXEL},
        {164, 4, 4, 15, 2, 1, ERROR_BITPERPIXEL},
        {164, 4, 4, 48, 0, 1, ERROR_BITPERPIXEL},
        {164, 4, 4, 8, 7, 1, ERROR_INV_ORDER},
        {164, 4, 4, 24, 2, 1, ERROR_INV_ORDER},
        {164, 4, 4, 8, 2, 0, ERROR_INV_VIEW_PERSPECTIVE},
        {164, 4, 4, 8, 2, 9, ERROR_INV_VIEW_PERSPECTIVE},
        {164, 0, 4, 8, 2, 1, ERROR_INV_SIZE},
        {164, 4, 0, 8, 2, 1, ERROR_INV_SIZE},
        {164, huge, huge, 16, 2, 1, ERROR_INV_SIZE},
        {164, huge * 10, huge * 10, 32, 0, 1, ERROR_INV_SIZE},
        {164, (1u << 20) + 1, 1, 8, 2, 1, ERROR_INV_SIZE},
        {164, 0xFFFFFFFFu, 0xFFFFFFFFu, 32, 0, 1, ERROR_INV_SIZE},
        {164, 0x80000000u, 2, 1, 2, 1, ERROR_INV_SIZE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(L_CreateBitmap(bitmap.get(), c.structSize, TYPE_CONV, c.width, c.height, c.bits,
                                 c.order, nullptr, c.perspective, nullptr, 0),
                  c.expected)
            << c.width << "x" << c.height << " " << c.bits << " bits, order " << c.order;
        EXPECT_EQ(bitmap->Addr, nullptr);
    }
    EXPECT_EQ(L_CreateBitmap(nullptr, 164, TYPE_CONV, 4, 4, 8, ORDER_GRAY, nullptr, 1, nullptr, 0),
              ERROR_NO_BITMAP);
    EXPECT_EQ(Create(bitmap, 4, 4, 8, ORDER_GRAY), SUCCESS) << "still healthy afterwards";
}

TEST(BitmapLifecycle, CreateCopiesAtMostTheImageFromData) {
    const std::uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    ScopedBitmap shortData, longData;
    ASSERT_EQ(
        L_CreateBitmap(shortData.get(), 164, TYPE_CONV, 3, 2, 8, ORDER_GRAY, nullptr, 1, data, 5),
        SUCCESS);
    EXPECT_EQ(shortData->Addr[4], 5);
    EXPECT_EQ(shortData->Addr[5], 0);
    ASSERT_EQ(L_CreateBitmap(longData.get(), 164, TYPE_CONV, 3, 2, 8, ORDER_GRAY, nullptr, 1, data,
                             sizeof data),
              SUCCESS);
    EXPECT_EQ(longData->Size, 8u);
    EXPECT_EQ(longData->Addr[7], 8);
}

TEST(BitmapLifecycle, FreeReleasesStorageAndIsIdempotent) {
    const std::size_t before = engine::LiveStorageCount();
    BITMAPHANDLE bitmap;
    L_InitBitmap(&bitmap, 164, 0, 0, 0);
    ASSERT_EQ(
        L_CreateBitmap(&bitmap, 164, TYPE_CONV, 17, 9, 16, ORDER_GRAY, nullptr, 1, nullptr, 0),
        SUCCESS);
    EXPECT_EQ(engine::LiveStorageCount(), before + 1);
    EXPECT_EQ(L_FreeBitmap(&bitmap), SUCCESS);
    EXPECT_EQ(engine::LiveStorageCount(), before);
    EXPECT_EQ(bitmap.Addr, nullptr);
    EXPECT_EQ(L_FreeBitmap(&bitmap), SUCCESS);
    EXPECT_EQ(L_FreeBitmap(nullptr), ERROR_NO_BITMAP);
    {
        ScopedBitmap scoped;
        ASSERT_EQ(Create(scoped, 5, 5, 24, ORDER_BGR), SUCCESS);
        EXPECT_EQ(engine::LiveStorageCount(), before + 1);
    }
    EXPECT_EQ(engine::LiveStorageCount(), before);
}

// A record copied by value and freed twice must not release an image allocated in between,
// even when the allocator hands back the very same memory.
TEST(BitmapLifecycle, StaleCopyOfAFreedRecordCannotFreeALaterImage) {
    BITMAPHANDLE original;
    L_InitBitmap(&original, 164, 0, 0, 0);
    ASSERT_EQ(
        L_CreateBitmap(&original, 164, TYPE_CONV, 64, 64, 16, ORDER_GRAY, nullptr, 1, nullptr, 0),
        SUCCESS);
    BITMAPHANDLE stale = original;
    ASSERT_EQ(L_FreeBitmap(&original), SUCCESS);

    ScopedBitmap later;
    ASSERT_EQ(Create(later, 64, 64, 16, ORDER_GRAY), SUCCESS);
    const std::size_t live = engine::LiveStorageCount();
    EXPECT_EQ(L_FillBitmap(&stale, 0), ERROR_NO_BITMAP);
    EXPECT_EQ(L_GetPixelColor(&stale, 0, 0), 0u);
    EXPECT_EQ(L_FreeBitmap(&stale), SUCCESS);
    EXPECT_EQ(engine::LiveStorageCount(), live);
    EXPECT_EQ(L_PutPixelColor(later.get(), 63, 63, 0x04001234), SUCCESS);
    EXPECT_EQ(L_GetPixelColor(later.get(), 63, 63), 0x04001234u);
}

TEST(BitmapLifecycle, GarbageRecordsAreRefusedEverywhere) {
    BITMAPHANDLE garbage;
    std::memset(&garbage, 0x5A, sizeof garbage);
    int low = 0, high = 0;
    std::uint8_t buffer[4];
    EXPECT_EQ(L_FillBitmap(&garbage, 0), ERROR_NO_BITMAP);
    EXPECT_EQ(L_FlipBitmap(&garbage), ERROR_NO_BITMAP);
    EXPECT_EQ(L_GetPixelData(&garbage, buffer, 0, 0, 4), ERROR_NO_BITMAP);
    EXPECT_EQ(L_GetMinMaxBits(&garbage, &low, &high), ERROR_NO_BITMAP);
    EXPECT_EQ(L_IsGrayScaleBitmap(&garbage), GRAY_NO);
    EXPECT_EQ(L_InvertBitmap(&garbage), ERROR_NO_BITMAP);
    EXPECT_EQ(L_FreeBitmap(&garbage), SUCCESS);
    EXPECT_EQ(garbage.Addr, nullptr);
}

TEST(BitmapLifecycle, CopyIsDeepAndIndependentAtEveryDepth) {
    RGBQUAD lut[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
    for (const Format& format : AllFormats()) {
        TestImage source(format, 5, 3, 7);
        source->pLUT = lut;  // a table the caller owns
        source->LUTLength = 3;
        source->HighBit = 9;
        source->PaintLowBit = 2;
        source->XResolution = 300;
        const auto pixels = Snapshot(*source);

        ScopedBitmap copy;
        ASSERT_EQ(L_CopyBitmap(copy.get(), source.get(), 164), SUCCESS) << format.name;
        EXPECT_NE(copy->Addr, source->Addr);
        EXPECT_EQ(copy->BytesPerLine, source->BytesPerLine);
        EXPECT_EQ(copy->Order, source->Order);
        EXPECT_EQ(copy->HighBit, 9);
        EXPECT_EQ(copy->PaintLowBit, 2);
        EXPECT_EQ(copy->XResolution, 300);
        ASSERT_EQ(copy->LUTLength, 3u);
        EXPECT_NE(copy->pLUT, lut);
        EXPECT_EQ(copy->pLUT[2].rgbRed, 9);
        if (format.bits <= 8) {
            EXPECT_NE(copy->pPalette, source->pPalette);
        }

        L_FillBitmap(source.get(), 0);
        source->pLUT = nullptr;
        source->LUTLength = 0;
        L_FreeBitmap(source.get());
        EXPECT_EQ(Snapshot(*copy), pixels) << format.name;
    }
}

TEST(BitmapLifecycle, CopyFromNothingLeavesAnEmptyDestination) {
    ScopedBitmap empty, destination, source;
    ASSERT_EQ(Create(destination, 3, 3, 8, ORDER_GRAY), SUCCESS);
    L_FreeBitmap(destination.get());
    std::memset(destination.get(), 0x77, sizeof(BITMAPHANDLE));
    EXPECT_EQ(L_CopyBitmap(destination.get(), empty.get(), 164), ERROR_NO_BITMAP);
    EXPECT_EQ(destination->Addr, nullptr);
    EXPECT_EQ(destination->uStructSize, BITMAPHANDLE_STRUCT_SIZE);
    ASSERT_EQ(Create(source, 3, 3, 8, ORDER_GRAY), SUCCESS);
    EXPECT_EQ(L_CopyBitmap(source.get(), source.get(), 164), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_CopyBitmap(destination.get(), source.get(), 100), ERROR_INV_STRUCT_SIZE);
    EXPECT_EQ(L_CopyBitmap(nullptr, source.get(), 164), ERROR_NO_BITMAP);
    EXPECT_STREQ(EngineStatusName(ERROR_INV_SIZE), "ERROR_INV_SIZE");
    EXPECT_NE(EngineStatusName(-12345), nullptr);
}

TEST(BitmapLifecycle, OwnedLookupTableLivesWithTheImage) {
    ScopedBitmap bitmap, copy, empty;
    ASSERT_EQ(Create(bitmap, 4, 4, 16, ORDER_GRAY), SUCCESS);
    std::vector<RGBQUAD> table(4096, RGBQUAD{9, 8, 7, 0});
    ASSERT_EQ(engine::SetOwnedLookupTable(bitmap.get(), table.data(), 4096), SUCCESS);
    table.assign(table.size(), RGBQUAD{});
    ASSERT_EQ(bitmap->LUTLength, 4096u);
    EXPECT_EQ(bitmap->pLUT[4095].rgbRed, 7) << "the table is copied";
    ASSERT_EQ(L_CopyBitmap(copy.get(), bitmap.get(), 164), SUCCESS);
    EXPECT_EQ(copy->pLUT[100].rgbBlue, 9);
    ASSERT_EQ(engine::SetOwnedLookupTable(bitmap.get(), nullptr, 0), SUCCESS);
    EXPECT_EQ(bitmap->pLUT, nullptr);
    EXPECT_EQ(engine::SetOwnedLookupTable(empty.get(), table.data(), 1), ERROR_NO_BITMAP);
}
