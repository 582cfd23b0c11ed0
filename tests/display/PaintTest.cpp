// Painting: the engine's L_PaintDC against a per-pixel reference, and the control's paint box,
// RenderDC and SetPaintLUT.
#include <gtest/gtest.h>

#include <random>

#include "engine/Display.h"
#include "engine/Kernel.h"
#include "engine/kernel/DisplayTransform.h"
#include "platform/handles/HandleTable.h"
#include "tests/control/ControlFixture.h"

namespace {

void RandomImage(BITMAPHANDLE* b, unsigned w, unsigned h, int bits, int order, unsigned view,
                 unsigned seed) {
    L_InitBitmap(b, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
    ASSERT_EQ(L_CreateBitmap(b, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, w, h, bits, order, nullptr,
                             view, nullptr, 0),
              SUCCESS);
    std::mt19937 random(seed);
    for (std::uint64_t i = 0; i < b->Size; ++i) b->Addr[i] = static_cast<std::uint8_t>(random());
}

// The colour a displayed pixel should show, one pixel at a time.
std::uint32_t ReferencePixel(const BITMAPHANDLE& b, int x, int y) {
    const auto [row, col] = engine::DisplayToMemory(b.ViewPerspective, b.Width, b.Height)(x, y);
    std::uint8_t sample[4] = {};
    L_GetPixelData(&b, sample, static_cast<int>(row), static_cast<int>(col), 4);
    if (b.BitsPerPixel == 24 || b.BitsPerPixel == 32)
        return b.Order == ORDER_BGR ? (sample[2] << 16 | sample[1] << 8 | sample[0])
                                    : (sample[0] << 16 | sample[1] << 8 | sample[2]);
    if (b.BitsPerPixel == 16 && b.Order == ORDER_GRAY) {
        const unsigned v = sample[0] | sample[1] << 8;
        if (b.pLUT) {
            const unsigned width = b.PaintHighBit - b.PaintLowBit + 1;
            const unsigned w = (v >> b.PaintLowBit) & ((1u << width) - 1);
            const RGBQUAD q = b.pLUT[(std::uint64_t{w} * b.LUTLength) >> width];
            return q.rgbRed << 16 | q.rgbGreen << 8 | q.rgbBlue;
        }
        const unsigned grey = v >> 8;
        return grey << 16 | grey << 8 | grey;
    }
    const RGBQUAD q = b.pPalette[sample[0]];
    return q.rgbRed << 16 | q.rgbGreen << 8 | q.rgbBlue;
}

struct Canvas {
    std::vector<std::uint32_t> pixels;
    DeviceContext dc;
    Canvas(int w, int h) : pixels(static_cast<std::size_t>(w) * h, 0xABCDEF) {
        AttachBuffer(&dc, pixels.data(), w, h, w);
    }
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * dc.width + x];
    }
};

TEST(PaintDCTest, NearestMatchesTheReferenceForEveryDepthAndPerspective) {
    const int depths[][2] = {
        {8, ORDER_GRAY}, {16, ORDER_GRAY}, {24, ORDER_BGR}, {24, ORDER_RGB}, {32, ORDER_BGR}};
    for (const auto& depth : depths) {
        for (unsigned view = 1; view <= 8; ++view) {
            ScopedBitmap bitmap;
            RandomImage(bitmap.get(), 7, 5, depth[0], depth[1], view, view * 31 + depth[0]);
            const int vw = ViewWidth(*bitmap), vh = ViewHeight(*bitmap);
            // A 3× zoom of a part of the image, shifted, partly outside the context.
            Canvas canvas(20, 14);
            const RECT src{1, 1, vw, vh}, dst{-2, 1, -2 + 3 * (vw - 1), 1 + 3 * (vh - 1)};
            ASSERT_EQ(L_PaintDC(&canvas.dc, bitmap.get(), &src, nullptr, &dst, nullptr, SRCCOPY),
                      SUCCESS);
            for (int y = 0; y < 14; ++y)
                for (int x = 0; x < 20; ++x) {
                    const bool inside =
                        x >= dst.left && x < dst.right && y >= dst.top && y < dst.bottom;
                    const std::uint32_t expected =
                        inside
                            ? ReferencePixel(*bitmap, 1 + (x - dst.left) / 3, 1 + (y - dst.top) / 3)
                            : 0xABCDEF;
                    ASSERT_EQ(canvas.at(x, y), expected)
                        << depth[0] << " bit, view " << view << " at " << x << "," << y;
                }
        }
    }
}

TEST(PaintDCTest, ClipsAndRasterOps) {
    ScopedBitmap bitmap;
    RandomImage(bitmap.get(), 10, 10, 24, ORDER_BGR, TOP_LEFT, 3);
    Canvas canvas(10, 10);
    const RECT srcClip{2, 2, 5, 5}, dstClip{0, 0, 4, 10};
    ASSERT_EQ(L_PaintDC(&canvas.dc, bitmap.get(), nullptr, &srcClip, nullptr, &dstClip, SRCCOPY),
              SUCCESS);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool painted = x >= 2 && x < 4 && y >= 2 && y < 5;
            EXPECT_EQ(canvas.at(x, y), painted ? ReferencePixel(*bitmap, x, y) : 0xABCDEFu);
        }
    Canvas ops(10, 10);
    ASSERT_EQ(L_PaintDC(&ops.dc, bitmap.get(), nullptr, nullptr, nullptr, nullptr, SRCINVERT),
              SUCCESS);
    EXPECT_EQ(ops.at(3, 4), 0xABCDEFu ^ ReferencePixel(*bitmap, 3, 4));
    ASSERT_EQ(L_PaintDC(&ops.dc, bitmap.get(), nullptr, nullptr, nullptr, nullptr, NOTSRCCOPY),
              SUCCESS);
    EXPECT_EQ(ops.at(3, 4), ~ReferencePixel(*bitmap, 3, 4) & 0xFFFFFFu);
    ASSERT_EQ(L_PaintDC(&ops.dc, bitmap.get(), nullptr, nullptr, nullptr, nullptr, SRCAND),
              SUCCESS);
    EXPECT_EQ(ops.at(3, 4), 0u);
    EXPECT_EQ(L_PaintDC(&ops.dc, bitmap.get(), nullptr, nullptr, nullptr, nullptr, 0x12345678),
              ERROR_FEATURE_NOT_SUPPORTED);
    // Rectangles far outside everything touch nothing.
    Canvas far(4, 4);
    const RECT huge{-2000000000, -2000000000, 2000000000, 2000000000};
    ASSERT_EQ(L_PaintDC(&far.dc, bitmap.get(), &huge, nullptr, &huge, nullptr, SRCCOPY), SUCCESS);
}

TEST(PaintDCTest, SmoothModeBlendsBetweenNeighbours) {
    ScopedBitmap bitmap;
    L_InitBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
    const std::uint8_t pixels[] = {0, 200, 0, 0};  // two 8-bit grey pixels, row padded to 4
    ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 2, 1, 8, ORDER_GRAY,
                             nullptr, TOP_LEFT, pixels, 4),
              SUCCESS);
    Canvas canvas(4, 1);
    const RECT dst{0, 0, 4, 1};
    L_SetDisplayMode(DISP_RESAMPLE, DISP_RESAMPLE);
    ASSERT_EQ(L_PaintDC(&canvas.dc, bitmap.get(), nullptr, nullptr, &dst, nullptr, SRCCOPY),
              SUCCESS);
    L_SetDisplayMode(DISP_RESAMPLE, 0);
    EXPECT_EQ(canvas.at(0, 0) & 0xFF, 0u);
    EXPECT_EQ(canvas.at(1, 0) & 0xFF, 50u);
    EXPECT_EQ(canvas.at(2, 0) & 0xFF, 150u);
    EXPECT_EQ(canvas.at(3, 0) & 0xFF, 200u);
}

TEST(PaintImageTest, EmptyControlShowsTheBackgroundAndBackEraseOffKeepsPixels) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    UpdateWindow(&c.Form);
    const auto empty = c.Form.CaptureClient();
    ASSERT_FALSE(empty.empty());
    EXPECT_EQ(empty[0], PixelFromColor(GetSysColor(COLOR_ACTIVECAPTION)));

    ScopedBitmap source;
    L_FreeBitmap(&c.CurrentBitmap);
    RandomImage(&c.CurrentBitmap, 20, 10, 24, ORDER_BGR, TOP_LEFT, 9);
    c.UpdatePaintRects(true, true, true);
    ASSERT_EQ(control->put_BackColor(0x0000FF), S_OK);  // red
    ASSERT_EQ(control->ForceRepaint(), S_OK);
    auto shown = c.Form.CaptureClient();
    EXPECT_EQ(shown[5 * 651 + 3], ReferencePixel(c.CurrentBitmap, 3, 5));
    EXPECT_EQ(shown[5 * 651 + 30], 0xFF0000u);

    control->put_BackErase(0);
    control->put_BackColor(0x00FF00);
    LONG value = 0;
    control->SetDstRect(0, 0, 5, 5, &value);
    control->Repaint();
    EXPECT_EQ(c.Form.CaptureClient()[5 * 651 + 30], 0xFF0000u);  // not painted yet
    UpdateWindow(&c.Form);
    EXPECT_EQ(c.Form.CaptureClient()[5 * 651 + 30], 0xFF0000u);  // kept: no erase
}

TEST(RenderDCTest, PaintsIntoAHostContext) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    L_FreeBitmap(&c.CurrentBitmap);
    RandomImage(&c.CurrentBitmap, 8, 6, 24, ORDER_RGB, TOP_LEFT, 4);
    const std::uint32_t key = CreateMemoryDC(8, 6);
    ASSERT_NE(key, 0u);
    TaxLumora_Rect none{0, 0, 0, 0, VARIANT_TRUE, 0};
    LONG value = 99;
    ASSERT_EQ(control->RenderDC(key, none, none, none, none, SRCCOPY, 0, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(PixelFromColor(GetPixel(DeviceContextFromHandle(key), 7, 5)),
              ReferencePixel(c.CurrentBitmap, 7, 5));
    value = 99;
    EXPECT_EQ(control->RenderDC(0x100000000ull | key, none, none, none, none, SRCCOPY, 0, &value),
              E_UNEXPECTED);
    EXPECT_EQ(value, 99);
    EXPECT_FALSE(LastErrorDescription().empty());
    ASSERT_EQ(control->RenderDC(key + 1000, none, none, none, none, SRCCOPY, 0, &value), S_OK);
    EXPECT_EQ(value, ERROR_INV_PARAMETER);  // no such context
    DeleteMemoryDC(key);
}

TEST(SetPaintLUTTest, TableShowsAtTheNextPaintAndNegativeLengthFails) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    CapturedLog log;
    LONG value = 5;
    EXPECT_EQ(control->SetPaintLUT(0, -1, &value), E_UNEXPECTED);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(value, 5);

    L_FreeBitmap(&c.CurrentBitmap);
    RandomImage(&c.CurrentBitmap, 6, 4, 16, ORDER_GRAY, TOP_LEFT, 12);
    std::vector<RGBQUAD> lut(256);
    for (int i = 0; i < 256; ++i)
        lut[i] = RGBQUAD{static_cast<std::uint8_t>(i), 0, static_cast<std::uint8_t>(255 - i), 0};
    ASSERT_EQ(control->SetPaintLUT(reinterpret_cast<ULONGLONG>(lut.data()), 256, &value), S_OK);
    EXPECT_EQ(value, 5);
    EXPECT_TRUE(log.lines().empty());
    lut.assign(256, RGBQUAD{});  // the engine keeps its own copy
    Canvas canvas(6, 4);
    ASSERT_EQ(L_PaintDC(&canvas.dc, &c.CurrentBitmap, nullptr, nullptr, nullptr, nullptr, SRCCOPY),
              SUCCESS);
    EXPECT_EQ(canvas.at(2, 3), ReferencePixel(c.CurrentBitmap, 2, 3));
    EXPECT_NE(canvas.at(2, 3) & 0xFF0000, 0u);

    ASSERT_EQ(control->SetPaintLUT(0, 16, &value), S_OK);  // no table: the engine refuses
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("axLumora.SetPaintLUT, L_WindowLevel Res:-4", 0), 0u);
}

}  // namespace
