// Loading annotation files: presentation states written by an independent writer (pydicom) come
// back as the objects they describe; broken, hostile and foreign files fail with a status and no
// container; handles the engine does not hold are refused.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/Annotation.h"
#include "engine/annotation/AnnotationModel.h"
#include "engine/annotation/CieLab.h"
#include "engine/annotation/PresentationState.h"
#include "tests/common/TestFiles.h"

namespace {

using namespace engine::annotation;
namespace fs = std::filesystem;

const fs::path kDataDir = AXLUMORA_TEST_DATA_DIR;
const char* const kPython = "/usr/bin/python3";

bool HavePydicom() {
    static const bool have =
        std::system((std::string(kPython) + " -c 'import pydicom' >/dev/null 2>&1").c_str()) == 0;
    return have;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& data) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), data.size());
}

// A scratch folder and the writer; each test writes the files it loads.
class AnnotationLoad : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HavePydicom()) GTEST_SKIP() << kPython << " cannot import pydicom";
    }

    // Writes a presentation state from the writer's JSON description.
    fs::path Write(const std::string& json) {
        const fs::path path = folder_ / ("ann" + std::to_string(files_++) + ".dcm");
        const std::string command = std::string(kPython) + " " +
                                    (kDataDir / "gsps_writer.py").string() + " " + path.string();
        FILE* pipe = popen(command.c_str(), "w");
        EXPECT_NE(pipe, nullptr);
        if (!pipe) return path;
        std::fputs(json.c_str(), pipe);
        EXPECT_EQ(pclose(pipe), 0) << json;
        return path;
    }

    // Loads the file; the container stays alive in the fixture.
    const AnnContainer* Load(const fs::path& path, int expected = SUCCESS) {
        HANNOBJECT handle = reinterpret_cast<HANNOBJECT>(&files_);  // must be cleared on failure
        const int status = L_AnnLoad(path.c_str(), &handle, nullptr);
        EXPECT_EQ(status, expected) << EngineStatusName(status);
        if (status != SUCCESS) {
            EXPECT_EQ(handle, nullptr);
            return nullptr;
        }
        containers_.emplace_back();
        *containers_.back().put() = handle;
        return Lookup(handle);
    }
    const AnnContainer* LoadJson(const std::string& json, int expected = SUCCESS) {
        return Load(Write(json), expected);
    }

    testsupport::ScratchFolder folder_{"annload"};
    int files_ = 0;
    std::deque<ScopedAnnContainer> containers_;  // not movable
};

void ExpectPoints(const Graphic& graphic, std::vector<Point> points) {
    ASSERT_EQ(graphic.points.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(graphic.points[i].x, points[i].x) << i;
        EXPECT_EQ(graphic.points[i].y, points[i].y) << i;
    }
}

TEST(CieLab, KnownColoursConvertToSrgb) {
    EXPECT_EQ(CieLabToRgb(100, 0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(CieLabToRgb(0, 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(CieLabToRgb(53.24, 80.09, 67.20), (Rgb{255, 0, 0}));
    EXPECT_EQ(CieLabToRgb(87.73, -86.18, 83.18), (Rgb{0, 255, 0}));
    EXPECT_EQ(CieLabToRgb(32.30, 79.19, -107.86), (Rgb{0, 0, 255}));
    EXPECT_EQ(CieLabToRgb(53.39, 0, 0), (Rgb{128, 128, 128}));
    // Out of gamut and out of range clamp instead of wrapping.
    const Rgb vivid = CieLabToRgb(100, 127, -128);
    EXPECT_EQ(vivid.red, 255);
    EXPECT_EQ(vivid.blue, 255);
    EXPECT_EQ(CieLabToRgb(150, 0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(CieLabToRgb(std::nan(""), 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(EncodedCieLabToRgb(65535, 32896, 32896), (Rgb{255, 255, 255}));
    EXPECT_EQ(EncodedCieLabToRgb(0, 32896, 32896), (Rgb{0, 0, 0}));
    EXPECT_EQ(GrayscaleToRgb(65535), (Rgb{255, 255, 255}));
    EXPECT_EQ(GrayscaleToRgb(32768), (Rgb{128, 128, 128}));  // 127.5019… rounds up
    EXPECT_EQ(GrayscaleToRgb(32767), (Rgb{127, 127, 127}));
}

TEST(AnnotationText, CharacterSetsConvertToUtf8) {
    EXPECT_EQ(CharsetOf("ISO_IR 100", Charset::Ascii), Charset::Latin1);
    EXPECT_EQ(CharsetOf("\\ISO 2022 IR 100", Charset::Ascii), Charset::Latin1);
    EXPECT_EQ(CharsetOf("ISO_IR 192 ", Charset::Ascii), Charset::Utf8);
    EXPECT_EQ(CharsetOf("", Charset::Latin1), Charset::Latin1);
    EXPECT_EQ(CharsetOf("GB18030", Charset::Latin1), Charset::Ascii);
    EXPECT_EQ(TextToUtf8("M\xFCller\r\nZ\xE4hne  ", Charset::Latin1), "M\u00FCller\r\nZ\u00E4hne");
    EXPECT_EQ(TextToUtf8("\x1B-AM\xFCller", Charset::Latin1), "M\u00FCller");  // ISO 2022 escape
    EXPECT_EQ(TextToUtf8("M\xFCller", Charset::Ascii), "M\uFFFDller");
    EXPECT_EQ(TextToUtf8("Z\xC3\xA4hne \xE2\x82\xAC", Charset::Utf8), "Z\u00E4hne \u20AC");
    // Broken UTF-8: a lone continuation, a cut sequence, an overlong form, a surrogate.
    EXPECT_EQ(TextToUtf8("a\x80"
                         "b\xE2\x82"
                         "c\xC0\xAF"
                         "d\xED\xA0\x80",
                         Charset::Utf8),
              "a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFDd\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(TextToUtf8(std::string("a\0b\x07\tc", 6), Charset::Ascii), "ab\tc");
}

TEST_F(AnnotationLoad, GraphicsKeepTypePointsUnitsAndStyleInEitherVr) {
    for (const char* implicit : {"false", "true"}) {
        SCOPED_TRACE(implicit);
        // The writer groups objects by layer, in the order the layers first appear.
        const AnnContainer* c = LoadJson(std::string(R"({"implicit": )") + implicit + R"(,
            "layers": [{"name": "A"}, {"name": "B"}],
            "graphics": [
              {"layer": "A", "type": "POINT", "points": [[1.5, 2.25]]},
              {"type": "INTERPOLATED", "units": "DISPLAY", "points": [[0.1, 0.2], [0.3, 0.4], [0.5, 0.2]]},
              {"type": "CIRCLE", "points": [[50, 50], [60, 50]], "filled": true},
              {"type": "ELLIPSE", "points": [[10, 20], [30, 20], [20, 15], [20, 25]], "thickness": -1},
              {"type": "POLYLINE", "points": [[-1e30, 3], [4e30, 5]], "omitNumberOfPoints": true},
              {"layer": "B", "type": "POLYLINE", "points": [[0, 0], [10, 0], [10, 5]],
               "thickness": 2.5, "dashed": true, "lab": [65535, 32896, 32896]}]})");
        ASSERT_NE(c, nullptr);
        ASSERT_EQ(c->graphics.size(), 6u);
        EXPECT_EQ(c->skippedObjects, 0);
        const auto& g = c->graphics;
        EXPECT_EQ(g[0].type, GraphicType::Point);
        EXPECT_EQ(g[0].layer, "A");
        EXPECT_EQ(g[0].units, Units::Pixel);
        EXPECT_FALSE(g[0].style.color.has_value());
        ExpectPoints(g[0], {{1.5, 2.25}});
        EXPECT_EQ(g[1].type, GraphicType::Interpolated);
        EXPECT_EQ(g[1].units, Units::Display);
        EXPECT_NEAR(g[1].points[1].x, 0.3, 1e-7);
        EXPECT_EQ(g[2].type, GraphicType::Circle);
        EXPECT_TRUE(g[2].filled);
        EXPECT_FALSE(g[0].filled);
        EXPECT_EQ(g[3].type, GraphicType::Ellipse);
        EXPECT_FALSE(g[3].style.thickness.has_value());  // not positive: ignored
        EXPECT_FLOAT_EQ(g[4].points[0].x, -1e30f);       // kept for the realiser to clip
        EXPECT_EQ(g[5].type, GraphicType::Polyline);
        EXPECT_EQ(g[5].layer, "B");
        ExpectPoints(g[5], {{0, 0}, {10, 0}, {10, 5}});
        EXPECT_EQ(g[5].style.thickness, 2.5);
        EXPECT_TRUE(g[5].style.dashed);
        EXPECT_EQ(g[5].style.color, (Rgb{255, 255, 255}));
    }
}

TEST_F(AnnotationLoad, LayersTakeOrderAndColourWithCieLabBeforeGrey) {
    const AnnContainer* c = LoadJson(R"({"layers": [
        {"name": "GREY", "order": 7, "grey": 32768},
        {"name": "BOTH", "order": -2, "grey": 0, "lab": [65535, 32896, 32896]},
        {"name": "NONE", "order": 3}],
        "graphics": [{"type": "POINT", "points": [[1, 1]]}]})");
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->layers.size(), 3u);
    EXPECT_EQ(c->layers[0].name, "GREY");
    EXPECT_EQ(c->layers[0].order, 7);
    EXPECT_EQ(c->layers[0].color, (Rgb{128, 128, 128}));
    EXPECT_EQ(c->layers[1].order, -2);
    EXPECT_EQ(c->layers[1].color, (Rgb{255, 255, 255}));
    EXPECT_FALSE(c->layers[2].color.has_value());
    EXPECT_EQ(c->graphics[0].layer, "GREY");
}

TEST_F(AnnotationLoad, TextsKeepBoxJustificationAnchorColourAndLineBreaks) {
    const AnnContainer* c = LoadJson(R"({"charset": "ISO_IR 100", "texts": [
        {"text": "Zahn 36\r\nM\u00fcller", "box": [[5, 6], [50, 20]], "justification": "CENTER",
         "lab": [0, 32896, 32896]},
        {"text": "anchored", "anchor": [0.25, 0.75], "anchorUnits": "DISPLAY", "anchorVisible": true},
        {"text": "turned", "box": [[40, 30], [10, 5]], "justification": "RIGHT", "units": "DISPLAY"},
        {"text": "default", "box": [[1, 1], [2, 2]], "justification": "FULL"}]})");
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->texts.size(), 4u);
    const auto& t = c->texts;
    EXPECT_EQ(t[0].value, "Zahn 36\r\nM\u00FCller");
    EXPECT_EQ(t[0].boxUnits, Units::Pixel);
    EXPECT_EQ(t[0].boxTopLeft.x, 5);
    EXPECT_EQ(t[0].boxBottomRight.y, 20);
    EXPECT_EQ(t[0].justification, Justification::Center);
    EXPECT_EQ(t[0].color, (Rgb{0, 0, 0}));
    EXPECT_FALSE(t[0].anchorUnits.has_value());
    EXPECT_FALSE(t[1].boxUnits.has_value());
    EXPECT_EQ(t[1].anchorUnits, Units::Display);
    EXPECT_EQ(t[1].anchor.y, 0.75);
    EXPECT_TRUE(t[1].anchorVisible);
    // A box given upside down is turned the right way.
    EXPECT_EQ(t[2].boxTopLeft.x, 10);
    EXPECT_EQ(t[2].boxTopLeft.y, 5);
    EXPECT_EQ(t[2].boxBottomRight.x, 40);
    EXPECT_EQ(t[2].boxBottomRight.y, 30);
    EXPECT_EQ(t[2].boxUnits, Units::Display);
    EXPECT_EQ(t[2].justification, Justification::Right);
    EXPECT_EQ(t[3].justification, Justification::Left);
}

TEST_F(AnnotationLoad, ObjectsThatCannotBeDrawnAreSkippedAndCounted) {
    const AnnContainer* c = LoadJson(R"({"graphics": [
        {"type": "POLYLINE", "points": [[1, 1]]},
        {"type": "POLYLINE", "points": [[NaN, 1], [2, 2]]},
        {"type": "POLYLINE", "points": [[1, 1], [2, Infinity]]},
        {"type": "POLYLINE", "points": [[1, 1], [2, 2]], "numberOfPoints": 3},
        {"type": "POLYLINE", "points": [[1, 1], [2, 2]], "dimensions": 3},
        {"type": "CIRCLE", "points": [[1, 1], [2, 2], [3, 3]]},
        {"type": "ELLIPSE", "points": [[1, 1], [2, 2]]},
        {"type": "POINT", "points": [[1, 1], [2, 2]]},
        {"type": "SPLINE", "points": [[1, 1], [2, 2]]},
        {"type": "POLYLINE", "units": "MATRIX", "points": [[1, 1], [2, 2]]},
        {"type": "POLYLINE", "points": [[1, 1], [2, 2]]}],
      "texts": [{"text": "no place"}, {"text": "   ", "anchor": [1, 1]},
                {"text": "nan", "anchor": [NaN, 1]}, {"text": "ok", "anchor": [1, 1]}]})");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->graphics.size(), 1u);
    EXPECT_EQ(c->texts.size(), 1u);
    EXPECT_EQ(c->skippedObjects, 13);
}

TEST_F(AnnotationLoad, WhatHoldsNoAnnotationsLoadsEmptyAndWhatHoldsOnlyBrokenOnesFails) {
    for (const char* json : {R"({"raw": [{"tag": "00700001", "delete": true}]})", R"({})",
                             R"({"emptyAnnotationItem": true})"}) {
        const AnnContainer* c = LoadJson(json);
        ASSERT_NE(c, nullptr) << json;
        EXPECT_TRUE(c->graphics.empty() && c->texts.empty());
        EXPECT_EQ(c->skippedObjects, 0);
    }
    LoadJson(
        R"({"graphics": [{"type": "POLYLINE", "points": [[1, 1]]}], "texts": [{"text": "x"}]})",
        ERROR_FILE_CORRUPT);
}

TEST_F(AnnotationLoad, LongObjectsLoad) {
    const std::string text(100000, 'W');
    const AnnContainer* c = LoadJson(R"({"graphics": [{"type": "POLYLINE", "pointCount": 100000}],
        "texts": [{"text": ")" + text +
                                     R"(", "anchor": [1, 1]}]})");
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->graphics.size(), 1u);
    EXPECT_EQ(c->graphics[0].points.size(), 100000u);
    EXPECT_EQ(c->graphics[0].points[99999].x, 99999 % 97);
    EXPECT_EQ(c->texts[0].value, text);
}

TEST_F(AnnotationLoad, FilesThatAreNoPresentationStateAreRefused) {
    const fs::path samples = "/usr/lib/python3/dist-packages/pydicom/data/test_files";
    Load(folder_ / "missing.dcm", ERROR_FILENOTFOUND);
    Load(folder_.path(), ERROR_FILE_OPEN);  // a folder
    WriteBytes(folder_ / "text.dcm", {'n', 'o', 't', ' ', 'D', 'I', 'C', 'O', 'M'});
    Load(folder_ / "text.dcm", ERROR_FILE_FORMAT);
    Load(samples / "CT_small.dcm", ERROR_FILE_FORMAT);
    Load(samples / "test-SR.dcm", ERROR_FILE_FORMAT);  // an SR that references presentation states
    LoadJson(
        R"({"sopClass": "1.2.840.10008.5.1.4.1.1.2", "graphics": [{"type": "POINT", "points": [[1, 1]]}]})",
        ERROR_FILE_FORMAT);
    LoadJson(R"({"raw": [{"tag": "00080016", "delete": true}]})", ERROR_FILE_FORMAT);
    // The colour presentation state carries the same annotations.
    const AnnContainer* colour = LoadJson(
        R"({"sopClass": "1.2.840.10008.5.1.4.1.1.11.2", "graphics": [{"type": "POINT", "points": [[1, 1]]}]})");
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(colour->graphics.size(), 1u);
}

TEST_F(AnnotationLoad, BrokenFilesFailCleanly) {
    const fs::path path =
        Write(R"({"graphics": [{"type": "POLYLINE", "points": [[1, 2], [3, 4], [5, 6]],
        "thickness": 2, "lab": [1, 2, 3]}], "texts": [{"text": "label", "box": [[1, 1], [9, 9]]}]})");
    const std::vector<std::uint8_t> good = ReadBytes(path);
    ASSERT_GT(good.size(), 200u);
    HANNOBJECT handle = nullptr;
    // Cut in half.
    EXPECT_EQ(L_AnnLoadMemory(good.data(), good.size() / 2, &handle), ERROR_FILE_CORRUPT);
    EXPECT_EQ(handle, nullptr);
    // Big endian in place of explicit little endian: same length, last digit.
    std::vector<std::uint8_t> bigEndian = good;
    const std::string syntax = "1.2.840.10008.1.2.1";
    const auto at = std::search(bigEndian.begin(), bigEndian.end(), syntax.begin(), syntax.end());
    ASSERT_NE(at, bigEndian.end());
    at[syntax.size() - 1] = '2';
    EXPECT_EQ(L_AnnLoadMemory(bigEndian.data(), bigEndian.size(), &handle),
              ERROR_FEATURE_NOT_SUPPORTED);
    // Every cut, and every byte set to 0xFF or 0x00 in turn: whatever the outcome, no crash, and a
    // container exactly when the load succeeds. (A cut between two top-level elements leaves a
    // shorter, whole data set.)
    for (std::size_t size = 0; size < good.size(); ++size) {
        const int status = L_AnnLoadMemory(good.data(), size, &handle);
        ASSERT_EQ(status == SUCCESS, Lookup(handle) != nullptr) << size;
        ASSERT_EQ(L_AnnDestroy(handle), SUCCESS);
    }
    for (const std::uint8_t value : {0xFF, 0x00}) {
        for (std::size_t i = 0; i < good.size(); ++i) {
            std::vector<std::uint8_t> bad = good;
            bad[i] = value;
            const int status = L_AnnLoadMemory(bad.data(), bad.size(), &handle);
            ASSERT_EQ(status == SUCCESS, Lookup(handle) != nullptr) << i;
            ASSERT_EQ(L_AnnDestroy(handle), SUCCESS);
        }
    }
}

// Inputs the fuzzers found once, for images and for annotations: each must fail cleanly.
TEST(AnnotationHostileInput, FuzzerFindingsFailCleanly) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(kDataDir / "crashes")) {
        if (!entry.is_regular_file()) continue;  // folders: the other fuzz targets' findings
        SCOPED_TRACE(entry.path().string());
        const std::vector<std::uint8_t> data = ReadBytes(entry.path());
        HANNOBJECT handle = nullptr;
        EXPECT_NE(L_AnnLoadMemory(data.data(), data.size(), &handle), SUCCESS);
        EXPECT_EQ(handle, nullptr);
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST_F(AnnotationLoad, HandlesTheEngineDoesNotHoldAreRefused) {
    const fs::path path = Write(R"({"graphics": [{"type": "POINT", "points": [[1, 1]]}]})");
    HANNOBJECT first = nullptr, second = nullptr;
    ASSERT_EQ(L_AnnLoad(path.c_str(), &first, nullptr), SUCCESS);
    ASSERT_EQ(L_AnnDestroy(first), SUCCESS);
    ASSERT_EQ(L_AnnLoad(path.c_str(), &second, nullptr), SUCCESS);
    EXPECT_NE(first, second);  // a destroyed handle never names a later container
    EXPECT_EQ(Lookup(first), nullptr);
    ANNNAMEOPTIONS options{};
    options.uStructSize = sizeof options;
    AnnContainer foreign;
    for (HANNOBJECT bad : {first, &foreign}) {
        EXPECT_EQ(L_AnnDestroy(bad), ERROR_INV_PARAMETER);
        EXPECT_EQ(L_AnnSetNameOptions(bad, &options, ANNFLAG_RECURSE), ERROR_INV_PARAMETER);
        EXPECT_EQ(L_AnnRealize(nullptr, nullptr, bad, 0), ERROR_INV_PARAMETER);
        EXPECT_EQ(Lookup(bad), nullptr);
    }
    EXPECT_EQ(L_AnnDestroy(nullptr), SUCCESS);
    EXPECT_NE(Lookup(second), nullptr);
    EXPECT_EQ(L_AnnDestroy(second), SUCCESS);
    EXPECT_EQ(L_AnnDestroy(second), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_AnnLoad(path.c_str(), nullptr, nullptr), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_AnnLoad(nullptr, &first, nullptr), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_AnnLoadMemory(nullptr, 10, &first), ERROR_INV_PARAMETER);
    EXPECT_EQ(first, nullptr);
}

TEST_F(AnnotationLoad, NameOptionsAreCheckedAndTakenAsTheFlagsSay) {
    const fs::path path = Write(R"({"graphics": [{"type": "POINT", "points": [[1, 1]]}]})");
    ScopedAnnContainer container;
    ASSERT_EQ(L_AnnLoad(path.c_str(), container.put(), nullptr), SUCCESS);
    const AnnContainer* c = Lookup(container.get());
    ANNNAMEOPTIONS options{};
    options.uStructSize = 120;
    options.bShowName = 1;
    EXPECT_EQ(L_AnnSetNameOptions(nullptr, &options, ANNFLAG_RECURSE), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_AnnSetNameOptions(container.get(), nullptr, ANNFLAG_RECURSE), ERROR_INV_PARAMETER);
    options.uStructSize = 119;
    EXPECT_EQ(L_AnnSetNameOptions(container.get(), &options, ANNFLAG_RECURSE),
              ERROR_INV_STRUCT_SIZE);
    options.uStructSize = 120;
    EXPECT_EQ(L_AnnSetNameOptions(container.get(), &options, ANNFLAG_RECURSE), SUCCESS);
    EXPECT_EQ(c->nameOptions.bShowName, 0u);  // ANNNAMEOPT_SHOW not set: the field is not taken
    options.uFlags = ANNNAMEOPT_SHOW;
    EXPECT_EQ(L_AnnSetNameOptions(container.get(), &options, 0), SUCCESS);
    EXPECT_EQ(c->nameOptions.bShowName, 1u);
    options.bShowName = 0;
    EXPECT_EQ(L_AnnSetNameOptions(container.get(), &options, ANNFLAG_RECURSE), SUCCESS);
    EXPECT_EQ(c->nameOptions.bShowName, 0u);
}

}  // namespace
