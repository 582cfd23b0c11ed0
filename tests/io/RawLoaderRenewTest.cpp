// A loader that replaces an image of the same pixel size keeps its memory: the result must be
// the image a fresh bitmap would hold, record and every byte alike, whatever the old image
// carried (a region, a paint window and table, other depths, garbage in the padding).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "engine/Display.h"
#include "engine/Kernel.h"
#include "platform/gdi/Gdi.h"
#include "tests/control/ControlFixture.h"

namespace {

std::uint64_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// Every field but the pixel memory's address and owner.
void ExpectSameRecord(const BITMAPHANDLE& a, const BITMAPHANDLE& b) {
    EXPECT_EQ(a.uStructSize, b.uStructSize);
    EXPECT_EQ(a.Width, b.Width);
    EXPECT_EQ(a.Height, b.Height);
    EXPECT_EQ(a.BitsPerPixel, b.BitsPerPixel);
    EXPECT_EQ(a.BytesPerLine, b.BytesPerLine);
    EXPECT_EQ(a.Order, b.Order);
    EXPECT_EQ(a.ViewPerspective, b.ViewPerspective);
    EXPECT_EQ(a.XResolution, b.XResolution);
    EXPECT_EQ(a.YResolution, b.YResolution);
    EXPECT_EQ(a.LowBit, b.LowBit);
    EXPECT_EQ(a.HighBit, b.HighBit);
    EXPECT_EQ(a.MinVal, b.MinVal);
    EXPECT_EQ(a.MaxVal, b.MaxVal);
    EXPECT_EQ(a.PaintLowBit, b.PaintLowBit);
    EXPECT_EQ(a.PaintHighBit, b.PaintHighBit);
    EXPECT_EQ(a.LUTLength, b.LUTLength);
    EXPECT_EQ(a.pLUT == nullptr, b.pLUT == nullptr);
    EXPECT_EQ(a.nColors, b.nColors);
    EXPECT_EQ(a.pPalette == nullptr, b.pPalette == nullptr);
    EXPECT_EQ(a.MemoryType, b.MemoryType);
    EXPECT_EQ(a.Flags, b.Flags);
    EXPECT_EQ(a.Size, b.Size);
    EXPECT_EQ(L_BitmapHasRgn(&a), L_BitmapHasRgn(&b));
}

std::vector<std::uint8_t> Memory(const BITMAPHANDLE& b) {
    return std::vector<std::uint8_t>(b.Addr, b.Addr + b.Size);
}

// Dirties what a host's later calls may leave on the current image.
void Dirty(BITMAPHANDLE& b) {
    std::memset(b.Addr, 0xA5, b.Size);
    RECT rect{0, 0, 2, 2};
    L_SetBitmapRgnRect(&b, nullptr, &rect, L_RGN_SET);
    if (b.BitsPerPixel == 16) L_WindowLevel(&b, 0, 11, nullptr, 256, WINDOWLEVEL_FILLLUT);
    b.MinVal = 7;
    b.MaxVal = 99;
}

}  // namespace

TEST(RawLoaderRenew, EachLoaderGivesTheFreshImageInTheOldMemory) {
    const std::vector<std::uint8_t> frame = [] {
        std::vector<std::uint8_t> f(4096);
        for (std::size_t i = 0; i < f.size(); ++i) f[i] = static_cast<std::uint8_t>(i * 37 + 11);
        return f;
    }();
    BStr none(u"");
    LONG value = 0;
    // Odd widths leave padding, the 12-bit loader leaves its first and last pixel unconverted.
    const std::vector<std::function<void(IaxLumora*)>> loads = {
        [&](IaxLumora* c) {
            c->LoadBuffer(Address(frame.data()), none.get(), 7, 5, 0x10000, &value);
        },
        [&](IaxLumora* c) {
            c->LoadBuffer(Address(frame.data()), none.get(), 5, 3, 0x80110, &value);
        },
        [&](IaxLumora* c) {
            c->LoadBuffer(Address(frame.data()), none.get(), 7, 5, 0x90040, &value);
        },
        [&](IaxLumora* c) {
            c->LoadBuffer(Address(frame.data()), none.get(), 7, 5, 0x20000, &value);
        },
        [&](IaxLumora* c) {
            c->LoadBuffer_Crop(Address(frame.data()), none.get(), 9, 7, 1, 1, 1, 1, 0x30000,
                               &value);
        },
        [&](IaxLumora* c) { c->LoadBuffer_Crop(0, none.get(), 9, 7, 1, 1, 1, 1, 0, &value); },
        [&](IaxLumora* c) {
            c->LoadBuffer_NormalAndDark(Address(frame.data()), Address(frame.data() + 100),
                                        none.get(), 6, 5, 0, &value);
        },
    };
    for (std::size_t i = 0; i < loads.size(); ++i) {
        auto fresh = NewControl();
        loads[i](fresh.get());
        ASSERT_EQ(value, 1) << "load " << i;
        const BITMAPHANDLE& expected = Impl(fresh).CurrentBitmap;

        auto renewed = NewControl();
        loads[i](renewed.get());
        BITMAPHANDLE& current = Impl(renewed).CurrentBitmap;
        const std::uint8_t* memory = current.Addr;
        Dirty(current);
        loads[i](renewed.get());
        ASSERT_EQ(value, 1) << "load " << i;
        EXPECT_EQ(current.Addr, memory) << "load " << i << " took new memory";
        ExpectSameRecord(current, expected);
        EXPECT_EQ(Memory(current), Memory(expected)) << "load " << i;
    }
}

TEST(RawLoaderRenew, AnImageOfAnotherDepthButTheSameSizeIsRenewedToo) {
    // 6 × 4 grey and 4 × 4 colour rows are both 12 bytes.
    const std::vector<std::uint8_t> frame(64, 0x5A);
    BStr none(u"");
    LONG value = 0;
    auto fresh = NewControl();
    fresh->LoadBuffer(Address(frame.data()), none.get(), 4, 4, 0x80110, &value);
    auto renewed = NewControl();
    renewed->LoadBuffer(Address(frame.data()), none.get(), 6, 4, 0x10000, &value);
    Dirty(Impl(renewed).CurrentBitmap);
    renewed->LoadBuffer(Address(frame.data()), none.get(), 4, 4, 0x80110, &value);
    ASSERT_EQ(value, 1);
    ExpectSameRecord(Impl(renewed).CurrentBitmap, Impl(fresh).CurrentBitmap);
    EXPECT_EQ(Memory(Impl(renewed).CurrentBitmap), Memory(Impl(fresh).CurrentBitmap));
}

TEST(RawLoaderRenew, UnknownMethodsStillGetAZeroedImage) {
    const std::vector<std::uint8_t> frame(256, 0x5A);
    BStr none(u"");
    LONG value = 0;
    auto c = NewControl();
    c->LoadBuffer(Address(frame.data()), none.get(), 7, 5, 0x10000, &value);
    std::memset(Impl(c).CurrentBitmap.Addr, 0xA5, Impl(c).CurrentBitmap.Size);
    c->LoadBuffer(Address(frame.data()), none.get(), 7, 5, 0x60000, &value);
    ASSERT_EQ(value, 1);
    EXPECT_EQ(Memory(Impl(c).CurrentBitmap),
              std::vector<std::uint8_t>(Impl(c).CurrentBitmap.Size, 0));
    c->LoadBuffer_NormalAndDark(Address(frame.data()), 0, none.get(), 6, 5, 0x10000, &value);
    std::memset(Impl(c).CurrentBitmap.Addr, 0xA5, Impl(c).CurrentBitmap.Size);
    c->LoadBuffer_NormalAndDark(Address(frame.data()), 0, none.get(), 6, 5, 0x10000, &value);
    ASSERT_EQ(value, 1);
    EXPECT_EQ(Memory(Impl(c).CurrentBitmap),
              std::vector<std::uint8_t>(Impl(c).CurrentBitmap.Size, 0));
}
