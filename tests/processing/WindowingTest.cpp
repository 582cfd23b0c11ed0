#include <array>

#include "engine/Display.h"
#include "engine/Processing.h"
#include "processing/Windowing.h"
#include "tests/processing/ProcessingFixture.h"

namespace {

std::array<std::uint32_t, 256> Table(int begin, int end) {
    std::array<std::uint32_t, 256> table{};
    table.fill(999);
    windowing::FillWindowTable(begin, end, &table);
    return table;
}

}  // namespace

TEST(WindowTable, RampsRoundTiesToEvenAndFillBothEnds) {
    const auto identity = Table(0, 255);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(identity[i], static_cast<std::uint32_t>(i));
    const auto narrow = Table(0, 2);
    EXPECT_EQ(narrow[0], 0u);
    EXPECT_EQ(narrow[1], 128u);
    EXPECT_EQ(narrow[2], 255u);
    const auto single = Table(100, 100);
    EXPECT_EQ(single[99], 0u);
    EXPECT_EQ(single[100], 0u);
    EXPECT_EQ(single[101], 255u);
    const auto reversed = Table(200, 100);
    EXPECT_EQ(reversed[100], 0u);
    EXPECT_EQ(reversed[101], 255u);
    EXPECT_EQ(reversed[255], 255u);
    for (const auto v : Table(256, 255)) EXPECT_EQ(v, 0u);
    const auto top = Table(256, 0);
    EXPECT_EQ(top[0], 0u);
    EXPECT_EQ(top[1], 255u);
}

TEST(WindowingMember, RemapsAnEightBitImageAndRefusesBadWindows) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    ASSERT_EQ(L_CreateBitmap(&impl.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 256, 1, 8,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    for (int x = 0; x < 256; ++x) impl.CurrentBitmap.Addr[x] = static_cast<std::uint8_t>(x);
    CapturedLog log;
    SHORT value = 7;
    EXPECT_EQ(control->Windowing(257, 100, &value), S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(impl.CurrentBitmap.Addr[50], 50);
    EXPECT_EQ(control->Windowing(0, 256, &value), S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(control->Windowing(0, 2, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(impl.CurrentBitmap.Addr[1], 128);
    EXPECT_EQ(impl.CurrentBitmap.Addr[2], 255);
    EXPECT_EQ(log.lines().front(), "axLumora.Windowing, iBeginVal:257, iEndVal:100\r\n");
}

TEST(AutoWindowing, FindsTheOccupiedWindowOfSixteenBitData) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    // Every level from 4096 to 20479 once.
    proctest::SetImage16(impl, 128, 128, [](int x, int y) { return 4096 + y * 128 + x; });
    CapturedLog log;
    SHORT value = 7;
    EXPECT_EQ(control->AutoWindowing(0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 0);
    ASSERT_FALSE(log.lines().empty());
    EXPECT_EQ(log.lines().front(), "axLumora.Windowing, iBeginVal:16, iEndVal:79\r\n");
    // The 16-bit data went through the window: 4096 is black, 20479 white.
    EXPECT_EQ(proctest::Pixel(impl, 0, 0), 0);
    EXPECT_EQ(proctest::Pixel(impl, 127, 127), 65535);
}

TEST(AutoWindowing, SingleLevelAndThresholds) {
    std::vector<std::uint32_t> histogram(65536, 0);
    histogram[30000] = 12;
    for (const int t : {0, 50, 100}) {
        const auto window = windowing::FindAutoWindow(histogram.data(), t, t, t);
        ASSERT_TRUE(window);
        EXPECT_EQ(window->low, 30000u);
        EXPECT_EQ(window->high, 30000u);
    }
    // Count threshold moves the ends inward past thin levels.
    std::fill(histogram.begin(), histogram.end(), 0);
    histogram[1000] = 1;
    histogram[2000] = 100;
    histogram[3000] = 100;
    histogram[4000] = 1;
    const auto window = windowing::FindAutoWindow(histogram.data(), 0, 0, 5);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->low, 2000u);
    EXPECT_EQ(window->high, 3000u);
    EXPECT_FALSE(windowing::FindAutoWindow(histogram.data(), -200, 0, 0));
}

TEST(Fix16BitData, ShiftsTwelveBitDataToTheTopAndReports) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    proctest::SetImage16(impl, 5, 3, [](int x, int y) { return x == 4 && y == 2 ? 4095 : x + 1; });
    const std::uint16_t padding = 0x1234;
    std::memcpy(impl.CurrentBitmap.Addr + 10, &padding, 2);  // the odd width leaves one pad word
    RecordingSink sink;
    Connection connection(control.get(), &sink);
    LONG value = 7;
    EXPECT_EQ(control->Fix16BitData(0, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(proctest::Pixel(impl, 4, 2), 65520);
    EXPECT_EQ(proctest::Pixel(impl, 0, 0), 16);
    std::uint16_t after;
    std::memcpy(&after, impl.CurrentBitmap.Addr + 10, 2);
    EXPECT_EQ(after, padding);
    ASSERT_EQ(sink.events.size(), 2u);
    EXPECT_EQ(sink.events[0].args[0], "TaxLumora.Fix16BitData, min bit:0, max bit:11");
    EXPECT_EQ(sink.events[1].args[0], "TaxLumora.Fix16BitData, --> Bits:16");
    // Highest bit 15: nothing changes.
    EXPECT_EQ(control->Fix16BitData(0, &value), S_OK);
    EXPECT_EQ(proctest::Pixel(impl, 4, 2), 65520);
}

TEST(Fix16BitData, ConvertsOtherDepthsToSixteenBitGrey) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    ASSERT_EQ(L_CreateBitmap(&impl.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 3, 2, 8,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    impl.CurrentBitmap.Addr[1] = 255;
    RecordingSink sink;
    Connection connection(control.get(), &sink);
    LONG value = 7;
    EXPECT_EQ(control->Fix16BitData(0, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(impl.CurrentBitmap.BitsPerPixel, 16);
    EXPECT_EQ(proctest::Pixel(impl, 1, 0), 65535);
    EXPECT_TRUE(sink.events.empty());
}

TEST(ExecCorrection, AppliesTurnsAndMirrorsInFlagOrder) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    // 3 wide, 2 high: value 10 × row + column.
    proctest::SetImage16(impl, 3, 2, [](int x, int y) { return 10 * y + x; });
    EXPECT_EQ(control->ExecCorrection(0x02), S_OK);  // a quarter turn clockwise
    ASSERT_EQ(impl.CurrentBitmap.Width, 2);
    ASSERT_EQ(impl.CurrentBitmap.Height, 3);
    EXPECT_EQ(proctest::Pixel(impl, 0, 0), 10);  // bottom-left came to the top-left
    EXPECT_EQ(proctest::Pixel(impl, 1, 0), 0);
    EXPECT_EQ(proctest::Pixel(impl, 1, 2), 2);
    // 90 then 180: three quarter turns in all, back to 3 × 2 upside down from one turn back.
    proctest::SetImage16(impl, 3, 2, [](int x, int y) { return 10 * y + x; });
    EXPECT_EQ(control->ExecCorrection(0x06 | 0x01), S_OK);
    ASSERT_EQ(impl.CurrentBitmap.Width, 2);
    EXPECT_EQ(proctest::Pixel(impl, 0, 0), 2);  // counter-clockwise: top-right to top-left
    // 0x20 flips top to bottom.
    proctest::SetImage16(impl, 3, 2, [](int x, int y) { return 10 * y + x; });
    EXPECT_EQ(control->ExecCorrection(0x20), S_OK);
    EXPECT_EQ(proctest::Pixel(impl, 0, 0), 10);
    EXPECT_EQ(proctest::Pixel(impl, 2, 1), 2);
}

namespace {

// Regression: a window loaded from a file stayed on the bitmap after Windowing rescaled the
// samples, so the picture showed the new samples through the old window.
TEST(FileWindow, RescalingMembersDropTheFilesWindowButKeepTheHosts) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    proctest::SetImage16(c, 8, 8, [](int x, int) { return x * 512; });
    ASSERT_EQ(L_WindowLevel(&c.CurrentBitmap, 0, 11, nullptr, 256, WINDOWLEVEL_FILLLUT), SUCCESS);
    c.CurrentBitmap.Flags |= BITMAP_FLAG_FILE_WINDOW;  // as the DICOM loader marks it
    SHORT value = 0;
    ASSERT_EQ(control->Windowing(10, 200, &value), S_OK);
    EXPECT_EQ(c.CurrentBitmap.pLUT, nullptr);
    EXPECT_EQ(c.CurrentBitmap.PaintHighBit, -1);

    ASSERT_EQ(L_WindowLevel(&c.CurrentBitmap, 0, 15, nullptr, 256, WINDOWLEVEL_FILLLUT),
              SUCCESS);  // the host's
    ASSERT_EQ(control->Windowing(10, 200, &value), S_OK);
    EXPECT_NE(c.CurrentBitmap.pLUT, nullptr);
    EXPECT_EQ(c.CurrentBitmap.PaintHighBit, 15);
}

}  // namespace
