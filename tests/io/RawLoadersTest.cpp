// The raw-frame loaders: conversion methods, padding, crops, the test ramp, packed 12-bit frames
// with dark-frame subtraction, and raw files in their three layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/common/TestFiles.h"
#include "tests/control/ControlFixture.h"

namespace {

std::uint64_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

std::uint16_t Pixel(const ComPtr<IaxLumora>& c, int x, int y) {
    const BITMAPHANDLE& b = Impl(c).CurrentBitmap;
    std::uint16_t v;
    std::memcpy(&v, b.Addr + static_cast<std::size_t>(y) * b.BytesPerLine + 2 * x, 2);
    return v;
}

LONG LoadBuffer(const ComPtr<IaxLumora>& c, const void* frame, int w, int h, std::uint64_t flags,
                const char* fn = "") {
    LONG value = 0;
    BStr name = BStr::FromUtf8(fn);
    EXPECT_EQ(c->LoadBuffer(Address(frame), name.get(), w, h, flags, &value), S_OK);
    return value;
}

LONG Crop(const ComPtr<IaxLumora>& c, const void* frame, int w, int h, int top, int bottom,
          int left, int right, std::uint64_t flags) {
    LONG value = 0;
    BStr name(u"");
    EXPECT_EQ(c->LoadBuffer_Crop(Address(frame), name.get(), w, h, top, bottom, left, right, flags,
                                 &value),
              S_OK);
    return value;
}

LONG NormalAndDark(const ComPtr<IaxLumora>& c, const void* normal, const void* dark, int w, int h,
                   std::uint64_t flags) {
    LONG value = 0;
    BStr name(u"");
    EXPECT_EQ(c->LoadBuffer_NormalAndDark(Address(normal), Address(dark), name.get(), w, h, flags,
                                          &value),
              S_OK);
    return value;
}

}  // namespace

TEST(LoadBuffer, ConvertsEachMethodsElements) {
    auto c = NewControl();
    const std::uint16_t words[] = {0, 65535, 1000};
    ASSERT_EQ(LoadBuffer(c, words, 3, 1, 0x0), 1);
    EXPECT_EQ(Pixel(c, 0, 0), 65535);
    EXPECT_EQ(Pixel(c, 1, 0), 0);
    EXPECT_EQ(Pixel(c, 2, 0), 64535);

    const std::uint16_t twelveBit[] = {0x1ABC, 0x0FFF};
    ASSERT_EQ(LoadBuffer(c, twelveBit, 2, 1, 0x10000), 1);
    EXPECT_EQ(Pixel(c, 0, 0), 0xABC0);
    EXPECT_EQ(Pixel(c, 1, 0), 0xFFF0);

    const std::uint8_t bytes[] = {0x7F, 0x01};
    ASSERT_EQ(LoadBuffer(c, bytes, 2, 1, 0x30010), 1);
    EXPECT_EQ(Pixel(c, 0, 0), 0x7F00);

    const std::uint32_t wide[] = {0x00010FFF, 0xFFFF0001};
    ASSERT_EQ(LoadBuffer(c, wide, 2, 1, 0x90040), 1);
    EXPECT_EQ(Pixel(c, 0, 0), 0xFFF0);
    EXPECT_EQ(Pixel(c, 1, 0), 0x0010);

    const std::uint16_t same[] = {0x1234, 0xFEDC};
    ASSERT_EQ(LoadBuffer(c, same, 2, 1, 0x40000), 1);
    EXPECT_EQ(Pixel(c, 1, 0), 0xFEDC);
    LONG bits = 0;
    c->get_BitmapBits(&bits);
    EXPECT_EQ(bits, 16);
}

TEST(LoadBuffer, OddWidthsPadEachRowWithZeroAndDoNotShear) {
    auto c = NewControl();
    const std::uint16_t frame[] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(LoadBuffer(c, frame, 3, 2, 0x40000), 1);
    const BITMAPHANDLE& b = Impl(c).CurrentBitmap;
    ASSERT_EQ(b.BytesPerLine, 8);
    EXPECT_EQ(Pixel(c, 0, 1), 4);
    EXPECT_EQ(Pixel(c, 2, 1), 6);
    EXPECT_EQ(Pixel(c, 3, 0), 0);
    EXPECT_EQ(Pixel(c, 3, 1), 0);
}

TEST(LoadBuffer, ColourFramesKeepTheirByteOrderAndPadWithZero) {
    auto c = NewControl();
    std::vector<std::uint8_t> frame(3 * 5 * 2);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i + 1);
    ASSERT_EQ(LoadBuffer(c, frame.data(), 5, 2, 0x80110), 1);
    const BITMAPHANDLE& b = Impl(c).CurrentBitmap;
    ASSERT_EQ(b.BitsPerPixel, 24);
    ASSERT_EQ(b.BytesPerLine, 16);
    EXPECT_EQ(b.Order, ORDER_RGB);
    EXPECT_EQ(std::memcmp(b.Addr + 16, frame.data() + 15, 15), 0);
    EXPECT_EQ(b.Addr[15], 0);
    EXPECT_EQ(b.Addr[31], 0);
}

TEST(LoadBuffer, MethodTwoReadsTheBitmapsPaddedRowLayout) {
    auto c = NewControl();
    const std::uint16_t frame[] = {1, 2, 3, 99, 4, 5, 6, 98};  // width 3: rows of 8 bytes
    ASSERT_EQ(LoadBuffer(c, frame, 3, 2, 0x20000), 1);
    EXPECT_EQ(Pixel(c, 0, 1), 4);
    EXPECT_EQ(Pixel(c, 3, 0), 99);  // lands in the padding
}

TEST(LoadBuffer, ReadsOnlyTheMethodFieldsOfTheLowHalf) {
    auto c = NewControl();
    const std::uint16_t frame[] = {1000};
    ASSERT_EQ(LoadBuffer(c, frame, 1, 1, 0xFFF00000), 1);
    EXPECT_EQ(Pixel(c, 0, 0), 64535);
    CapturedLog log;
    ASSERT_EQ(LoadBuffer(c, frame, 1, 1, 0xABCD000100010000ull), 1);
    EXPECT_EQ(Pixel(c, 0, 0), 16000);
    ASSERT_FALSE(log.lines().empty());
    EXPECT_EQ(log.lines()[0], "axLumora.LoadBuffer($" + HexUpper(Address(frame), 8) +
                                  ",,1,1,$ABCD000100010000)\r\n");
}

TEST(LoadBuffer, UnknownMethodsAreLoggedAndStillSucceed) {
    auto c = NewControl();
    CapturedLog log;
    const std::uint16_t frame[] = {7};
    EXPECT_EQ(LoadBuffer(c, frame, 1, 1, 0x60000), 1);
    EXPECT_NE(std::find(log.lines().begin(), log.lines().end(),
                        "axLumora.LoadBuffer, Unknown {Method}Flag\r\n"),
              log.lines().end());
    EXPECT_TRUE(Impl(c).ImagePresent());
}

TEST(LoadBuffer, RefusesFramesItWouldReadWithTheWrongStrideAndKeepsTheImage) {
    auto c = NewControl();
    const std::uint16_t frame[] = {5, 6};
    ASSERT_EQ(LoadBuffer(c, frame, 2, 1, 0x40000), 1);
    EXPECT_EQ(LoadBuffer(c, frame, 2, 1, 0x10010), -1);    // method 1 with 8-bit elements
    EXPECT_EQ(LoadBuffer(c, frame, 2, 1, 0x10100), -1);    // grey method with the colour bit
    EXPECT_EQ(LoadBuffer(c, frame, 2, 1, 0x80010), -1);    // colour method without it
    EXPECT_EQ(LoadBuffer(c, nullptr, 2, 1, 0x40000), -1);  // no frame at all
    ASSERT_TRUE(Impl(c).ImagePresent());
    EXPECT_EQ(Pixel(c, 1, 0), 6);
}

TEST(LoadBuffer, NegativeOrEmptySizes) {
    auto c = NewControl();
    const std::uint16_t frame[] = {1};
    EXPECT_EQ(LoadBuffer(c, frame, -4, 1, 0x40000), -1);
    EXPECT_FALSE(Impl(c).ImagePresent());
    EXPECT_EQ(LoadBuffer(c, frame, 0, 10, 0x40000), 1);
    EXPECT_FALSE(Impl(c).ImagePresent());
    EXPECT_EQ(LoadBuffer(c, frame, 100000, 100000, 0x40000), -1);  // the engine refuses the size
}

TEST(LoadBufferCrop, KeepsTheInnerPartOfTheFrame) {
    auto c = NewControl();
    std::vector<std::uint16_t> frame(7 * 4);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint16_t>(i);
    ASSERT_EQ(Crop(c, frame.data(), 7, 4, 1, 1, 1, 1, 0x20000), 1);
    const BITMAPHANDLE& b = Impl(c).CurrentBitmap;
    ASSERT_EQ(b.Width, 5);
    ASSERT_EQ(b.Height, 2);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(Pixel(c, x, 0), 7 + 1 + x);
    EXPECT_EQ(Pixel(c, 5, 0), 0);
    EXPECT_EQ(Pixel(c, 0, 1), 15);
}

TEST(LoadBufferCrop, MethodOneEndsFullEvenRowsInWhite) {
    auto c = NewControl();
    const std::uint16_t even[] = {1, 2, 3, 4};
    ASSERT_EQ(Crop(c, even, 4, 1, 0, 0, 0, 0, 0x10000), 1);
    EXPECT_EQ(Pixel(c, 0, 0), 0x10);
    EXPECT_EQ(Pixel(c, 2, 0), 0x30);
    EXPECT_EQ(Pixel(c, 3, 0), 0xFFFF);
    const std::uint16_t odd[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(Crop(c, odd, 5, 1, 0, 0, 0, 0, 0x10000), 1);
    EXPECT_EQ(Pixel(c, 4, 0), 0x50);
    EXPECT_EQ(Pixel(c, 5, 0), 0);
}

TEST(LoadBufferCrop, ShiftsAndByteMethods) {
    auto c = NewControl();
    const std::uint16_t words[] = {0x3FFF, 1};
    ASSERT_EQ(Crop(c, words, 2, 1, 0, 0, 0, 0, 0x40000), 1);
    EXPECT_EQ(Pixel(c, 0, 0), 0xFFFC);
    const std::uint8_t bytes[] = {0x80, 0x01};
    ASSERT_EQ(Crop(c, bytes, 2, 1, 0, 0, 0, 0, 0x30000), 1);
    EXPECT_EQ(Pixel(c, 0, 0), 0x8000);
}

TEST(LoadBufferCrop, TestRampWithoutAFrame) {
    auto c = NewControl();
    ASSERT_EQ(Crop(c, nullptr, 256, 256, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(Pixel(c, 5, 3), 256 * 3 + 5);
    EXPECT_EQ(Pixel(c, 0, 128), 0);
    EXPECT_EQ(Pixel(c, 255, 255), (256 * 255 + 255) % 32768);
}

TEST(LoadBufferCrop, FlipBitPutsTheTopLeftElementBottomLeft) {
    auto c = NewControl();
    const std::uint16_t frame[] = {11, 12, 21, 22, 31, 32};
    ASSERT_EQ(Crop(c, frame, 2, 3, 0, 0, 0, 0, 0x20001), 1);
    EXPECT_EQ(Pixel(c, 0, 2), 11);
    EXPECT_EQ(Pixel(c, 1, 0), 32);
}

TEST(LoadBufferCrop, OtherMethodsConvertNothingSilently) {
    auto c = NewControl();
    CapturedLog log;
    const std::uint16_t frame[] = {1, 2};
    EXPECT_EQ(Crop(c, frame, 2, 1, 0, 0, 0, 0, 0x50000), 1);
    EXPECT_EQ(Crop(c, frame, 2, 1, 0, 0, 0, 0, 0x00000), 1);
    for (const std::string& line : log.lines()) EXPECT_EQ(line.find("Unknown"), std::string::npos);
    EXPECT_EQ(log.lines().back(), "TaxLumora.LoadBuffer_Crop, End.\r\n");
}

TEST(LoadBufferCrop, NegativeCropsFailTheCallAndKeepTheImage) {
    auto c = NewControl();
    const std::uint16_t frame[] = {1, 2, 3, 4};
    ASSERT_EQ(Crop(c, frame, 2, 2, 0, 0, 0, 0, 0x20000), 1);
    LONG value = 0;
    BStr name(u"");
    EXPECT_EQ(c->LoadBuffer_Crop(Address(frame), name.get(), 2, 2, 0, 0, -1, 0, 0x20000, &value),
              E_UNEXPECTED);
    EXPECT_EQ(c->LoadBuffer_Crop(Address(frame), name.get(), 2, 2, 0, 0, 2, 1, 0x20000, &value),
              E_UNEXPECTED);
    ASSERT_TRUE(Impl(c).ImagePresent());
    EXPECT_EQ(Pixel(c, 1, 1), 4);
}

TEST(LoadBufferNormalAndDark, UnpacksAndSubtractsTheDarkFrameClampingAtZero) {
    auto c = NewControl();
    // Width 4, height 2: four groups, of which the first three are unpacked into pixels 1 … 6.
    const std::uint8_t normal[] = {0x34, 0x12, 0x56, 0x34, 0x12, 0x56,
                                   0x10, 0x00, 0x20, 0xFF, 0xFF, 0xFF};
    const std::uint8_t dark[] = {0x30, 0x11, 0x60, 0x40, 0x11, 0x60,
                                 0x10, 0x00, 0x30, 0x00, 0x00, 0x00};
    ASSERT_EQ(NormalAndDark(c, normal, nullptr, 4, 2, 0), 1);
    // Flipped: memory row 0 (pixels 0 … 3) is now the bottom row.
    EXPECT_EQ(Pixel(c, 0, 1), 0);
    EXPECT_EQ(Pixel(c, 1, 1), 0x1340);
    EXPECT_EQ(Pixel(c, 2, 1), 0x2560);
    EXPECT_EQ(Pixel(c, 0, 0), 0x2560);
    EXPECT_EQ(Pixel(c, 3, 0), 0);

    ASSERT_EQ(NormalAndDark(c, normal, dark, 4, 2, 0), 1);
    EXPECT_EQ(Pixel(c, 1, 1), 0x40);
    EXPECT_EQ(Pixel(c, 2, 1), 0xF60);
    EXPECT_EQ(Pixel(c, 3, 1), 0);  // dark 0x140 above normal 0x134
    EXPECT_EQ(Pixel(c, 1, 0), 0);  // dark equal to normal
    EXPECT_EQ(Pixel(c, 2, 0), 0);  // dark above normal: no wrap-around
}

TEST(LoadBufferNormalAndDark, UnknownMethodStillFlipsAndSucceeds) {
    auto c = NewControl();
    CapturedLog log;
    const std::uint8_t normal[6] = {};
    EXPECT_EQ(NormalAndDark(c, normal, nullptr, 2, 2, 0x10000), 1);
    EXPECT_NE(std::find(log.lines().begin(), log.lines().end(),
                        "axLumora.LoadBuffer_NormalAndDark, Unknown {Method}Flag\r\n"),
              log.lines().end());
    EXPECT_TRUE(Impl(c).ImagePresent());
}

TEST(LoadBufferNormalAndDark, RefusesOddWidthsAndMissingFramesKeepingTheImage) {
    auto c = NewControl();
    const std::uint8_t normal[6] = {1, 0, 2, 3, 0, 4};
    ASSERT_EQ(NormalAndDark(c, normal, nullptr, 2, 2, 0), 1);
    const std::uint16_t kept = Pixel(c, 1, 1);
    EXPECT_EQ(NormalAndDark(c, normal, nullptr, 3, 2, 0), -1);
    EXPECT_EQ(NormalAndDark(c, nullptr, nullptr, 2, 2, 0), -1);
    ASSERT_TRUE(Impl(c).ImagePresent());
    EXPECT_EQ(Pixel(c, 1, 1), kept);
    EXPECT_EQ(NormalAndDark(c, normal, nullptr, -2, 2, 0), -1);
    EXPECT_FALSE(Impl(c).ImagePresent());
}

// ---- LoadFnRAW ----------------------------------------------------------------------------------

namespace {

class RawFile : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        auto path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    static void PutWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t v) {
        bytes[at] = static_cast<std::uint8_t>(v);
        bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }

    LONG Load(const ComPtr<IaxLumora>& c, const std::string& in, std::uint64_t flags,
              const std::string& out = "", int w = 0, int h = 0) {
        LONG value = 0;
        BStr fnIn = BStr::FromUtf8(in), fnOut = BStr::FromUtf8(out);
        EXPECT_EQ(c->LoadFnRAW(fnIn.get(), fnOut.get(), w, h, flags, &value), S_OK);
        return value;
    }

    testsupport::ScratchFolder dir_{"raw"};
};

}  // namespace

TEST_F(RawFile, FourByteHeaderLayout) {
    auto c = NewControl();
    std::vector<std::uint8_t> bytes(4 + 2 * 3 * 2);
    PutWord(bytes, 0, 3);
    PutWord(bytes, 2, 2);
    for (int i = 0; i < 6; ++i) PutWord(bytes, 4 + 2 * i, static_cast<std::uint16_t>(0x0FFF - i));
    ASSERT_EQ(Load(c, Write("a.raw", bytes), 0x10001), 1);
    ASSERT_EQ(Impl(c).CurrentBitmap.Width, 3);
    EXPECT_EQ(Pixel(c, 0, 0), 0x0FFF);
    EXPECT_EQ(Pixel(c, 2, 1), 0x0FFF - 5);
    EXPECT_EQ(Pixel(c, 3, 1), 0);
    ASSERT_EQ(Load(c, Write("a.raw", bytes), 0x00001), 1);
    EXPECT_EQ(Pixel(c, 0, 0), 0xFFF0);

    bytes.push_back(0);  // 17 bytes: the size no longer matches the header
    EXPECT_EQ(Load(c, Write("b.raw", bytes), 0x10001), -1);
    EXPECT_EQ(Pixel(c, 0, 0), 0xFFF0);  // the current image is unchanged
}

TEST_F(RawFile, TwentyEightByteHeaderCountsOrLastIndices) {
    auto c = NewControl();
    std::vector<std::uint8_t> bytes(28 + 2 * 100 * 100);
    PutWord(bytes, 16, 99);
    PutWord(bytes, 24, 99);
    ASSERT_EQ(Load(c, Write("a.raw", bytes), 0x10000), 1);
    EXPECT_EQ(Impl(c).CurrentBitmap.Width, 100);
    EXPECT_EQ(Impl(c).CurrentBitmap.Height, 100);

    bytes.resize(28 + 2 * 100 * 99);  // shorter than (99 + 1) × (99 + 1)
    EXPECT_EQ(Load(c, Write("b.raw", bytes), 0x10000), -2);
    bytes.resize(28 + 2 * 100 * 100 + 10);  // longer: the surplus is ignored
    ASSERT_EQ(Load(c, Write("c.raw", bytes), 0x10000), 1);
    EXPECT_EQ(Impl(c).CurrentBitmap.Width, 100);

    std::vector<std::uint8_t> hostile(30);
    PutWord(hostile, 16, 65535);
    PutWord(hostile, 24, 65535);
    EXPECT_EQ(Load(c, Write("d.raw", hostile), 0x10000), -2);
    EXPECT_EQ(Load(c, Write("e.raw", std::vector<std::uint8_t>(10)), 0x10000), -2);
}

TEST_F(RawFile, HeaderlessLayoutTakesTheArguments) {
    auto c = NewControl();
    std::vector<std::uint8_t> bytes(2 * 4 * 2);
    PutWord(bytes, 2, 0x0FFF);
    ASSERT_EQ(Load(c, Write("a.raw", bytes), 0x000FF, "", 4, 2), 1);
    EXPECT_EQ(Pixel(c, 1, 0), 0xFFF0);
    EXPECT_EQ(Load(c, Write("a.raw", bytes), 0x000FF, "", 70000, 1), -2);
    EXPECT_EQ(Load(c, Write("a.raw", bytes), 0x000FF, "", 5, 2), -2);  // file too short
}

TEST_F(RawFile, RefusalsAndTheirCodes) {
    auto c = NewControl();
    std::vector<std::uint8_t> bytes(4 + 2 * 2 * 2);
    PutWord(bytes, 0, 2);
    PutWord(bytes, 2, 2);
    const std::string file = Write("a.raw", bytes);
    EXPECT_EQ(Load(c, file, 0x10002), -1);
    EXPECT_EQ(Load(c, (dir_ / "missing.raw").string(), 0x10001), -3);
    EXPECT_EQ(Load(c, file, 0x10001, (dir_ / "no-such-folder" / "out.dcm").string()), -4);
    EXPECT_EQ(Load(c, file, 0x10001, (dir_ / "").string()), -4);
    EXPECT_FALSE(Impl(c).ImagePresent());  // nothing was loaded by the refused calls
    ASSERT_EQ(Load(c, file, 0x30001), 1);  // method 3: created, nothing converted
    EXPECT_TRUE(Impl(c).ImagePresent());
    EXPECT_EQ(Pixel(c, 1, 1), 0);
}

// The one-pass conversion against the steps written out plainly: unpack every group but the
// last, place frame pixel p at pixel p + 1, subtract with clamping, then turn the rows over.
TEST(LoadBufferNormalAndDark, MatchesThePlainStepsOnRandomFrames) {
    auto c = NewControl();
    for (const auto& [w, h] :
         {std::pair{2, 1}, {2, 3}, {10, 6}, {14, 1}, {6, 9}, {42, 5}, {60, 3}, {2002, 2}}) {
        std::vector<std::uint8_t> normal(static_cast<std::size_t>(3 * w * h / 2));
        std::vector<std::uint8_t> dark(normal.size());
        std::uint32_t state = static_cast<std::uint32_t>(w * 131 + h);
        for (std::size_t i = 0; i < normal.size(); ++i) {
            state = state * 1664525u + 1013904223u;
            normal[i] = static_cast<std::uint8_t>(state >> 24);
            dark[i] = static_cast<std::uint8_t>((state >> 8) & 0x3F);
        }
        for (bool withDark : {false, true}) {
            ASSERT_EQ(NormalAndDark(c, normal.data(), withDark ? dark.data() : nullptr, w, h, 0),
                      1);
            std::vector<std::uint16_t> memory(static_cast<std::size_t>(w * h), 0);
            for (int g = 0; g + 1 < w / 2 * h; ++g) {
                const std::uint8_t* n = &normal[3 * g];
                const std::uint8_t* d = &dark[3 * g];
                const int nv[2] = {n[0] | ((n[1] >> 4) << 8), n[2] | ((n[1] & 0xF) << 8)};
                const int dv[2] = {d[0] | ((d[1] >> 4) << 8), d[2] | ((d[1] & 0xF) << 8)};
                for (int k = 0; k < 2; ++k) {
                    const int v = withDark ? (nv[k] > dv[k] ? nv[k] - dv[k] : 0) : nv[k];
                    memory[static_cast<std::size_t>(2 * g + k + 1)] =
                        static_cast<std::uint16_t>(v << 4);
                }
            }
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(Pixel(c, x, y), memory[static_cast<std::size_t>((h - 1 - y) * w + x)])
                        << w << "x" << h << " at " << x << "," << y << (withDark ? " dark" : "");
        }
    }
}
