#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <utility>

#include "processing/CorrectionFile.h"
#include "tests/common/TestFiles.h"
#include "tests/processing/ProcessingFixture.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    std::string File(const std::string& name, const std::string& content) const {
        return folder_.Write(name, content);
    }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

private:
    testsupport::ScratchFolder folder_{"correction"};
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

using correction::CorrectionEntry;

std::vector<CorrectionEntry> Parse(const std::string& content, bool binning = false) {
    return correction::ParseEntries(correction::SplitLines(content), binning);
}

}  // namespace

TEST(CorrectionParser, FieldsAcceptDecimalAndHexadecimalForms) {
    EXPECT_EQ(correction::ParseField("12"), 12);
    EXPECT_EQ(correction::ParseField("  +7"), 7);
    EXPECT_EQ(correction::ParseField("-5"), -5);
    EXPECT_EQ(correction::ParseField("0x1A"), 26);
    EXPECT_EQ(correction::ParseField("$ff"), 255);
    EXPECT_EQ(correction::ParseField("X10"), 16);
    EXPECT_EQ(correction::ParseField(""), -1);
    EXPECT_EQ(correction::ParseField("12a"), -1);
    EXPECT_EQ(correction::ParseField("\t3"), -1);
    EXPECT_EQ(correction::ParseField("2147483648"), -1);
    EXPECT_EQ(correction::ParseField("2147483647"), 2147483647);
}

TEST(CorrectionParser, PositionalSplitAndTrimmingRules) {
    EXPECT_EQ(Parse("\r\n5 6 0\n7 8 2\r9 10 3\n"),
              (std::vector<CorrectionEntry>{{5, 6, 0}, {7, 8, 2}, {9, 10, 3}}));
    EXPECT_TRUE(Parse("10 20\n").empty());        // Y would be −1
    EXPECT_EQ(Parse("10 20 0 \t\n").size(), 1u);  // trimmed
    EXPECT_TRUE(Parse("10  20 0\n").empty());     // empty Y
    EXPECT_EQ(Parse("10 20  0\n"), (std::vector<CorrectionEntry>{{10, 20, 0}}));
    EXPECT_EQ(Parse("0x1A 20 0"), (std::vector<CorrectionEntry>{{26, 20, 0}}));
    EXPECT_TRUE(Parse("10\t20\t0").empty());
    EXPECT_EQ(Parse("3 5 0\n101 1 2", true), (std::vector<CorrectionEntry>{{2, 3, 0}, {51, 1, 2}}));
    std::string many;
    for (int i = 0; i < 250; ++i) many += std::to_string(i) + " 1 1\n";
    EXPECT_EQ(Parse(many).size(), 200u);
}

class ApplyCorrectionFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        control = NewControl();
        proctest::SetImage16(Impl(control), 100, 50, [](int x, int y) { return x * 100 + y; });
    }
    LONG Apply(const std::string& content, bool binning = false) {
        LONG value = 7;
        EXPECT_EQ(control->ApplyCorrectionFile(
                      BStr::FromUtf8(dir.File("defects.txt", content)).get(),
                      BStr::FromUtf8(logPath).get(), ToVariantBool(binning), 0, &value),
                  S_OK);
        return value;
    }
    std::uint16_t Px(int x, int y) { return proctest::Pixel(Impl(control), x, y); }

    TempDir dir;
    std::string logPath = dir.Path("correction.log");
    ComPtr<IaxLumora> control;
};

TEST_F(ApplyCorrectionFileTest, BadColumnsCopyTheNearestUsableColumnTowardTheCentre) {
    EXPECT_EQ(Apply("10 0 2\n11 0 2\n60 0 2\n50 0 2\n0 0 2\n"), 0);
    for (int y : {0, 25, 49}) {
        EXPECT_EQ(Px(10, y), Px(12, y));
        EXPECT_EQ(Px(11, y), 1200 + y);
        EXPECT_EQ(Px(60, y), 5900 + y);
        EXPECT_EQ(Px(50, y), 4900 + y);
        EXPECT_EQ(Px(0, y), 100 + y);
    }
    EXPECT_EQ(ReadAll(logPath),
              "-*- BEGIN OF FILE -*-\r\nBinning OFF\r\n"
              "n:10 m:0 p:2\r\nn:11 m:0 p:2\r\nn:60 m:0 p:2\r\nn:50 m:0 p:2\r\nn:0 m:0 p:2\r\n"
              "Bad col:10 Used col:12\r\nBad col:11 Used col:12\r\nBad col:60 Used col:59\r\n"
              "Bad col:50 Used col:49\r\nBad col:0 Used col:1\r\n-*- END OF FILE -*-\r\n");
}

TEST_F(ApplyCorrectionFileTest, BadPixelsAverageTheirWindowOffRowAndColumn) {
    const std::uint16_t cornerMean = (Px(1, 1) + Px(2, 1) + Px(1, 2) + Px(2, 2)) / 4;
    std::uint32_t inner = 0;
    for (int y = 8; y <= 12; ++y)
        for (int x = 28; x <= 32; ++x)
            if (x != 30 && y != 10) inner += Px(x, y);
    const std::uint16_t before55 = Px(5, 5);
    EXPECT_EQ(Apply("\n0 0 0\n30 10 0\n7 7 1\n"), 0);
    EXPECT_EQ(Px(0, 0), cornerMean);
    EXPECT_EQ(Px(30, 10), inner / 16);
    EXPECT_EQ(Px(7, 7), 707);  // kind 1: logged, not applied
    EXPECT_EQ(Px(5, 5), before55);
    EXPECT_NE(ReadAll(logPath).find("n:7 m:7 p:1\r\n"), std::string::npos);
}

TEST_F(ApplyCorrectionFileTest, BinningHalvesCoordinatesAndRowsAreCopied) {
    const std::uint16_t expected =
        (Px(1, 1) + Px(3, 1) + Px(4, 1) + Px(1, 2) + Px(3, 2) + Px(4, 2) + Px(0, 1) + Px(0, 2) +
         Px(0, 4) + Px(1, 4) + Px(3, 4) + Px(4, 4) + Px(0, 5) + Px(1, 5) + Px(3, 5) + Px(4, 5)) /
        16;
    EXPECT_EQ(Apply("3 5 0\n0 98 3\n", true), 0);
    EXPECT_EQ(Px(2, 3), expected);
    for (int x : {0, 40, 99}) EXPECT_EQ(Px(x, 49), Px(x, 48));
    const std::string log = ReadAll(logPath);
    EXPECT_NE(log.find("Binning ON\r\nn:2 m:3 p:0\r\nn:0 m:49 p:3\r\n"), std::string::npos);
    EXPECT_NE(log.find("Bad row:49 Used row:48\r\n"), std::string::npos);
}

TEST_F(ApplyCorrectionFileTest, OverflowsAreReportedAndMissingFilesIgnored) {
    RecordingSink sink;
    Connection connection(control.get(), &sink);
    // Columns 1 … 99 all bad: the upward search from 0 runs out of the image.
    std::string content = "0 0 2\n";
    for (int x = 1; x < 100; ++x) content += std::to_string(x) + " 0 2\n";
    Apply(content);
    ASSERT_FALSE(sink.events.empty());
    EXPECT_EQ(sink.events[0].args[0],
              "TaxLumora.ApplyCorrectionFile, : CheckForNextCol overflow...");
    // No file: no log, nothing changed.
    fs::remove(logPath);
    LONG value = 7;
    EXPECT_EQ(control->ApplyCorrectionFile(BStr::FromUtf8(dir.Path("none.txt")).get(),
                                           BStr::FromUtf8(logPath).get(), 0, 0, &value),
              S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(fs::exists(logPath));
    // An empty log name cannot be created: reported, correction still done.
    sink.events.clear();
    logPath.clear();
    Apply("5 5 0\n");
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].args[0], "TaxLumora.ApplyCorrectionFile, : Could not create ");
}

TEST(ApplyCorrectionFile, OnePixelWideImageKeepsItsBadPixel) {
    auto control = NewControl();
    proctest::SetImage16(Impl(control), 1, 5, [](int, int y) { return 10 + y; });
    TempDir dir;
    LONG value = 7;
    EXPECT_EQ(control->ApplyCorrectionFile(BStr::FromUtf8(dir.File("c.txt", "0 2 0\n")).get(),
                                           BStr::FromUtf8(dir.Path("l.txt")).get(), 0, 0, &value),
              S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(proctest::Pixel(Impl(control), 0, 2), 12);
}

namespace {

// A width × height grey bitmap of the given depth filled with random words; 12-bit images also
// get words above 4095, which the engine's single-pixel writes clamp.
void RandomGrey(ScopedBitmap& bitmap, int width, int height, int bits, std::mt19937& random) {
    ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height, bits,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    engine::PixelView view;
    ASSERT_EQ(engine::AccessPixels(bitmap.get(), &view), SUCCESS);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) view.Row16(y)[x] = static_cast<std::uint16_t>(random());
}

std::vector<std::uint16_t> Words(BITMAPHANDLE* bitmap) {
    engine::PixelView view;
    EXPECT_EQ(engine::AccessPixels(bitmap, &view), SUCCESS);
    std::vector<std::uint16_t> words;
    for (int y = 0; y < view.height; ++y)
        words.insert(words.end(), view.Row16(y), view.Row16(y) + view.width);
    return words;
}

}  // namespace

// The grey words route against the engine's single-pixel colour calls it replaces, on random
// images, tables and source lines (some outside the image), borders included.
TEST(CorrectionRepair, GreyWordsMatchTheEngineColourCallsBitForBit) {
    std::mt19937 random(17);
    for (int round = 0; round < 60; ++round) {
        const int bits = round % 2 ? 12 : 16;
        const int width = 1 + static_cast<int>(random() % 23),
                  height = 1 + static_cast<int>(random() % 19);
        std::vector<CorrectionEntry> table;
        for (int n = static_cast<int>(random() % 12); n > 0; --n) {
            const std::int32_t kinds[] = {correction::kKindPixel, correction::kKindColumn,
                                          correction::kKindRow};
            table.push_back({static_cast<std::int32_t>(random() % (width + 2)) - 1,
                             static_cast<std::int32_t>(random() % (height + 2)) - 1,
                             kinds[random() % 3]});
        }
        std::vector<int> sources;
        for (int n = 0; n < 12; ++n) sources.push_back(static_cast<int>(random() % 30) - 2);
        ScopedBitmap words, colours;
        std::mt19937 fill(static_cast<unsigned>(round));
        RandomGrey(words, width, height, bits, fill);
        fill.seed(static_cast<unsigned>(round));
        RandomGrey(colours, width, height, bits, fill);
        ASSERT_EQ(correction::RouteFor(words.get()), correction::PixelRoute::GreyWords);
        for (auto [bitmap, route] :
             {std::pair{words.get(), correction::PixelRoute::GreyWords},
              std::pair{colours.get(), correction::PixelRoute::EngineColours}}) {
            std::size_t next = 0;
            correction::Repair(bitmap, table, route,
                               [&](int, bool) { return sources[next++ % sources.size()]; });
        }
        EXPECT_EQ(Words(words.get()), Words(colours.get())) << "round " << round;
    }
}

// A handler run while a line is chosen may free the image: the repairs then stop touching it.
TEST(CorrectionRepair, ImageFreedWhileChoosingALineIsLeftAlone) {
    std::mt19937 random(3);
    ScopedBitmap bitmap;
    RandomGrey(bitmap, 9, 7, 16, random);
    BITMAPHANDLE shared = *bitmap.get();
    const std::vector<CorrectionEntry> table{{2, 0, correction::kKindColumn},
                                             {0, 3, correction::kKindRow}};
    int chosen = 0;
    correction::Repair(&shared, table, correction::RouteFor(&shared), [&](int, bool) {
        if (chosen++ == 0) L_FreeBitmap(bitmap.get());
        return 1;
    });
    EXPECT_EQ(chosen, 2);
    EXPECT_EQ(bitmap.get()->Addr, nullptr);
}
