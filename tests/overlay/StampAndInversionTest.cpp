// InvertPixel at every depth and out of range, and WriteStamp: sizes and depth of the file as an
// independent load reads it back, its 16-bit reduction, failures, and the image left untouched.
#include <unistd.h>

#include <filesystem>

#include "engine/File.h"
#include "tests/common/TestFiles.h"
#include "tests/overlay/OverlayFixture.h"

namespace {

using overlaytest::ControlWithImage;
using overlaytest::ControlWithRandomImage;
using overlaytest::Lines;
using overlaytest::Snapshot;
using overlaytest::Stored;

LONG Invert(const ComPtr<IaxLumora>& control, LONG x, LONG y) {
    LONG value = 99;
    EXPECT_EQ(control->InvertPixel(x, y, &value), S_OK);
    return value;
}

std::string TempPath(const std::string& name) { return testsupport::TempPath("overlay", name); }

LONG Stamp(const ComPtr<IaxLumora>& control, const std::string& path) {
    BStr name = BStr::FromUtf8(path);
    LONG value = 99;
    EXPECT_EQ(control->WriteStamp(name.get(), &value), S_OK);
    return value;
}

}  // namespace

// ---- InvertPixel ------------------------------------------------------------------------------

TEST(InvertPixel, SixteenBitSampleIsInvertedAndRestoredBySecondCall) {
    auto control =
        ControlWithImage(40, 30, 16, ORDER_GRAY, [](int x, int y) { return x * 1000 + y; });
    const Snapshot before(Impl(control).CurrentBitmap);
    EXPECT_EQ(Invert(control, 17, 11), 0);
    EXPECT_EQ(Stored(Impl(control).CurrentBitmap, 11, 17), 65535u - (17 * 1000 + 11));
    Snapshot expected = before;
    expected.pixels[11 * 40 + 17] = 65535u - (17 * 1000 + 11);
    EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) == expected);  // no other pixel
    Invert(control, 17, 11);
    EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) == before);
}

TEST(InvertPixel, EightAndTwentyFourBitPixels) {
    auto grey = ControlWithImage(5, 3, 8, ORDER_GRAY, [](int, int) { return 0x3C; });
    Invert(grey, 4, 2);
    EXPECT_EQ(Stored(Impl(grey).CurrentBitmap, 2, 4), 255u - 0x3C);
    EXPECT_EQ(Stored(Impl(grey).CurrentBitmap, 2, 3), 0x3Cu);

    // The low two bytes are inverted; the third takes the zero byte above the grey level.
    auto colour = ControlWithImage(5, 3, 24, ORDER_BGR, [](int, int) { return 0x8A3C11; });
    Invert(colour, 0, 0);
    EXPECT_EQ(Stored(Impl(colour).CurrentBitmap, 0, 0), 0x00C3EEu);
    EXPECT_EQ(Stored(Impl(colour).CurrentBitmap, 0, 1), 0x8A3C11u);
}

// Regression: 65535 - v clamped to 4095 turned every 12-bit pixel white for good.
TEST(InvertPixel, TwelveBitSamplesInvertWithinTheirRange) {
    auto control = ControlWithImage(4, 4, 12, ORDER_GRAY, [](int, int) { return 1000; });
    Invert(control, 1, 2);
    EXPECT_EQ(Stored(Impl(control).CurrentBitmap, 2, 1), 3095u);
    Invert(control, 1, 2);
    EXPECT_EQ(Stored(Impl(control).CurrentBitmap, 2, 1), 1000u);
}

TEST(InvertPixel, OutOfRangeOnlyLogs) {
    auto control = ControlWithRandomImage(40, 30, 16, ORDER_GRAY);
    const Snapshot before(Impl(control).CurrentBitmap);
    CapturedLog log;
    Invert(control, 40, 0);
    Invert(control, -1, 5);
    Invert(control, 3, 30);
    Invert(control, 0, -2147483647 - 1);
    EXPECT_EQ(Lines(log), (std::vector<std::string>{
                              "axLumora.InvertPixel, Out of range (x:40,y:0)",
                              "axLumora.InvertPixel, Out of range (x:-1,y:5)",
                              "axLumora.InvertPixel, Out of range (x:3,y:30)",
                              "axLumora.InvertPixel, Out of range (x:0,y:-2147483648)",
                          }));
    EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) == before);
}

TEST(InvertPixel, EmptyControlOnlyLogs) {
    auto control = NewControl();
    CapturedLog log;
    EXPECT_EQ(Invert(control, 0, 0), 0);
    EXPECT_EQ(Lines(log), std::vector<std::string>{"axLumora.InvertPixel, Out of range (x:0,y:0)"});
}

// ---- WriteStamp -------------------------------------------------------------------------------

TEST(WriteStamp, StampSizeFollowsTheAspect) {
    const struct {
        int width, height, bits, order, stampWidth, stampHeight;
    } cases[] = {
        {1500, 1000, 16, ORDER_GRAY, 56, 37},
        {1000, 1500, 16, ORDER_GRAY, 53, 80},
        {300, 300, 24, ORDER_BGR, 56, 56},
        {5, 1000, 8, ORDER_GRAY, 1, 80},      // 0.4 columns become one
        {1000, 5, 16, ORDER_GRAY, 56, 1},     // 0.28 rows become one
        {700, 1000, 16, ORDER_GRAY, 56, 80},  // aspect 1429: still fitted to the width
    };
    const std::string path = TempPath("stamp.bmp");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        auto control = ControlWithRandomImage(c.width, c.height, c.bits, c.order);
        const Snapshot before(Impl(control).CurrentBitmap);
        CapturedLog log;
        EXPECT_EQ(Stamp(control, path), SUCCESS);
        EXPECT_TRUE(log.lines().empty());
        EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) == before);

        FILEINFO info{};
        ASSERT_EQ(L_FileInfo(path.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
        EXPECT_EQ(info.Format, filefmt::FILE_BMP);
        EXPECT_EQ(info.Width, c.stampWidth);
        EXPECT_EQ(info.Height, c.stampHeight);
        EXPECT_EQ(info.BitsPerPixel, 8);
        std::filesystem::remove(path);
    }
}

// The stamp takes all 16 bits, whatever the image records as significant: 0x8000 becomes 128,
// not the saturated 255 that twelve significant bits would give. The image keeps its record.
TEST(WriteStamp, SixteenBitImageIsReducedThroughAllSixteenBits) {
    auto control = ControlWithImage(120, 90, 16, ORDER_GRAY, [](int, int) { return 0x8000; });
    BITMAPHANDLE& bitmap = Impl(control).CurrentBitmap;
    bitmap.LowBit = 0;
    bitmap.HighBit = 11;
    const std::string path = TempPath("deep.bmp");
    ASSERT_EQ(Stamp(control, path), SUCCESS);
    EXPECT_EQ(bitmap.HighBit, 11);

    ScopedBitmap stamp;
    ASSERT_EQ(L_LoadFile(path.c_str(), stamp.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGR, 0,
                         nullptr, nullptr, nullptr, nullptr),
              SUCCESS);
    ASSERT_EQ(stamp->Width, 56);
    ASSERT_EQ(stamp->Height, 42);
    for (int y = 0; y < stamp->Height; ++y)
        for (int x = 0; x < stamp->Width; ++x)
            ASSERT_EQ(L_GetPixelColor(stamp.get(), y, x) & 0xFF, 128u) << x << "," << y;
    std::filesystem::remove(path);
}

TEST(WriteStamp, UnwritablePathReportsTheSaveFailure) {
    auto control = ControlWithRandomImage(200, 100, 16, ORDER_GRAY);
    const Snapshot before(Impl(control).CurrentBitmap);
    CapturedLog log;
    const LONG value = Stamp(control, "/nonexistent-axlumora-dir/stamp.bmp");
    EXPECT_EQ(value, ERROR_FILE_OPEN);
    EXPECT_EQ(Lines(log), std::vector<std::string>{"axLumora.WriteStamp, {3}Result -> :" +
                                                   std::to_string(ERROR_FILE_OPEN)});
    EXPECT_TRUE(Snapshot(Impl(control).CurrentBitmap) == before);

    BStr none;  // a null name: the engine refuses it
    LONG nullName = 99;
    EXPECT_EQ(control->WriteStamp(none.get(), &nullName), S_OK);
    EXPECT_EQ(nullName, ERROR_INV_PARAMETER);
}

// No image: the copy fails (step 1 logged) and there is no size to measure, so the call ends
// with -1 and writes no file.
TEST(WriteStamp, EmptyControlEndsWithMinusOne) {
    auto control = NewControl();
    const std::string path = TempPath("empty.bmp");
    CapturedLog log;
    EXPECT_EQ(Stamp(control, path), -1);
    // The caught error (the zero width the aspect divides by) is reported, not swallowed.
    EXPECT_EQ(Lines(log),
              (std::vector<std::string>{
                  "axLumora.WriteStamp, {1}Result -> :" + std::to_string(ERROR_NO_BITMAP),
                  "axLumora.WriteStamp, Floating point division by zero"}));
    EXPECT_FALSE(std::filesystem::exists(path));
}
