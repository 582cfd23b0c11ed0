// AnnRealize with presentation states written by an independent writer (pydicom): the depth the
// member leaves, its failures, and every object drawn where DICOM's coordinate rules place it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/Kernel.h"
#include "tests/common/TestFiles.h"
#include "tests/control/ControlFixture.h"
#include "tests/overlay/OverlayFixture.h"

namespace {

using namespace overlaytest;
namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";

bool WriterAvailable() {
    static const bool available =
        std::system((std::string(kPython) + " -c 'import pydicom' 2>/dev/null").c_str()) == 0;
    return available;
}

class AnnRealizeTest : public ::testing::Test {
protected:
    // A presentation state from a JSON description (see tests/data/gsps_writer.py).
    std::string Gsps(const std::string& name, const std::string& json) {
        const fs::path description = dir_ / (name + ".json"), out = dir_ / (name + ".dcm");
        std::ofstream(description) << json;
        const std::string command = std::string(kPython) + " " + AXLUMORA_TEST_DATA_DIR +
                                    "/gsps_writer.py " + out.string() + " < " +
                                    description.string();
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return out.string();
    }

    // Burns the file into a zeroed 16-bit image that becomes 8-bit grey (or 24-bit colour).
    LONG Realise(TaxLumora& c, const ComPtr<IaxLumora>& control, const std::string& file, int width,
                 int height, bool keepGrey = true, std::uint32_t fill = 0) {
        SetImage(c, width, height, 16, ORDER_GRAY, [&](int, int) { return fill; });
        LONG value = 99;
        EXPECT_EQ(
            control->AnnRealize(BStr::FromUtf8(file).get(), ToVariantBool(keepGrey), 0, &value),
            S_OK);
        return value;
    }

    testsupport::ScratchFolder dir_{"annrealize"};
};

#define REQUIRE_WRITER() \
    if (!WriterAvailable()) GTEST_SKIP() << "pydicom is not installed for " << kPython

// Lit pixels of an 8-bit grey image as a picture, for readable failures.
std::string Picture(const BITMAPHANDLE& b) {
    std::string out;
    for (int y = 0; y < b.Height; ++y) {
        for (int x = 0; x < b.Width; ++x) out += Sample(b, x, y) ? '#' : '.';
        out += '\n';
    }
    return out;
}

TEST_F(AnnRealizeTest, DepthIsAdjustedFirstAndMissingFilesGiveMinusTwo) {
    CapturedLog log;
    for (bool keep : {true, false}) {
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        EXPECT_EQ(Realise(c, control, (dir_ / "none.dcm").string(), 8, 8, keep), -2);
        EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, keep ? 8 : 24);
        EXPECT_EQ(log.lines().back(), "axLumora.AnnRealize, Fn {" + (dir_ / "none.dcm").string() +
                                          "} does not exists!\r\n");
    }
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SetImage(c, 8, 8, 8, ORDER_GRAY, [](int, int) { return 3u; });
    LONG value = 0;
    ASSERT_EQ(
        control->AnnRealize(BStr::FromUtf8(std::string(5000, 'x')).get(), VARIANT_FALSE, 0, &value),
        S_OK);
    EXPECT_EQ(value, -2);
    EXPECT_EQ(c.CurrentBitmap.BitsPerPixel, 8);
}

TEST_F(AnnRealizeTest, UnreadableFilesAreLoggedAndGiveZero) {
    const fs::path text = dir_ / "notes.txt";
    std::ofstream(text) << "not a presentation state";
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    CapturedLog log;
    EXPECT_EQ(Realise(c, control, text.string(), 8, 8), 0);
    ASSERT_FALSE(log.lines().empty());
    EXPECT_EQ(log.lines().back().rfind("axLumora.AnnRealize, L_AnnLoad:", 0), 0u)
        << log.lines().back();
    EXPECT_EQ(MaxSample(c.CurrentBitmap), 0u);
}

TEST_F(AnnRealizeTest, FilledShapesCoverThePixelsWhoseCentresTheyContain) {
    REQUIRE_WRITER();
    const std::string file = Gsps("shapes", R"({
        "layers": [{"name": "L", "grey": 65535}],
        "graphics": [
          {"layer": "L", "type": "POLYLINE", "filled": true, "points": [[2,2],[6,2],[6,6],[2,6],[2,2]]},
          {"layer": "L", "type": "CIRCLE", "filled": true, "points": [[20,10],[24,10]]},
          {"layer": "L", "type": "ELLIPSE", "filled": true, "points": [[2,20],[18,20],[10,17],[10,23]]},
          {"layer": "L", "type": "POINT", "points": [[25.5,25.5]]}
        ]})");
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    ASSERT_EQ(Realise(c, control, file, 30, 30), 0);
    const BITMAPHANDLE& b = c.CurrentBitmap;
    ASSERT_EQ(b.BitsPerPixel, 8);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(Sample(b, x, y), (x >= 2 && x < 6 && y >= 2 && y < 6) ? 255u : 0u)
                << x << "," << y << "\n"
                << Picture(b);
    // The circle: centres nearer than 4 to (20, 10).
    EXPECT_EQ(Sample(b, 20, 10), 255u);
    EXPECT_EQ(Sample(b, 16, 10), 255u);  // centre 16.5: 3.5 away
    EXPECT_EQ(Sample(b, 15, 10), 0u);    // 4.5 away
    EXPECT_EQ(Sample(b, 20, 13), 255u);
    EXPECT_EQ(Sample(b, 20, 14), 0u);
    // The ellipse: semi-axes 8 and 3 about (10, 20).
    EXPECT_EQ(Sample(b, 10, 17), 255u);
    EXPECT_EQ(Sample(b, 10, 16), 0u);
    EXPECT_EQ(Sample(b, 17, 20), 255u);
    EXPECT_EQ(Sample(b, 18, 20), 0u);
    EXPECT_EQ(Sample(b, 1, 20), 0u);
    // The point: a 3 × 3 dot on the pixel it names.
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            EXPECT_EQ(Sample(b, 25 + dx, 25 + dy),
                      (std::abs(dx) <= 1 && std::abs(dy) <= 1) ? 255u : 0u);
}

TEST_F(AnnRealizeTest, LinesThroughPixelCentresCoverExactlyThosePixels) {
    REQUIRE_WRITER();
    const std::string file = Gsps("lines", R"({
        "layers": [{"name": "L", "grey": 65535}],
        "graphics": [
          {"layer": "L", "type": "POLYLINE", "points": [[0.5,3.5],[9.5,3.5]]},
          {"layer": "L", "type": "POLYLINE", "units": "DISPLAY", "points": [[0.525,0.025],[0.525,0.475]]},
          {"layer": "L", "type": "POLYLINE", "points": [[-1e30,15.5],[1e30,15.5]]},
          {"layer": "L", "type": "POLYLINE", "thickness": 3, "points": [[2.5,8.5],[6.5,8.5]]}
        ]})");
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    ASSERT_EQ(Realise(c, control, file, 20, 20), 0);
    const BITMAPHANDLE& b = c.CurrentBitmap;
    for (int x = 0; x < 20; ++x) {
        if (x != 10) {  // column 10 is the vertical line's
            EXPECT_EQ(Sample(b, x, 3), x <= 9 ? 255u : 0u) << x << "\n" << Picture(b);
            EXPECT_EQ(Sample(b, x, 2), 0u) << x;
        }
        EXPECT_EQ(Sample(b, x, 15), 255u) << x;  // a line from far outside, cut to the image
    }
    // DISPLAY units: 0.525 of 20 columns is the centre of column 10; rows 0.5 … 9.5.
    for (int y = 0; y < 12; ++y) EXPECT_EQ(Sample(b, 10, y), (y <= 9) ? 255u : 0u) << y;
    EXPECT_EQ(Sample(b, 11, 5), 0u);
    // Three pixels thick: rows 7 to 9.
    EXPECT_EQ(Sample(b, 4, 7), 255u);
    EXPECT_EQ(Sample(b, 4, 9), 255u);
    EXPECT_EQ(Sample(b, 4, 10), 0u);
}

TEST_F(AnnRealizeTest, DefaultColourIsLightWithADarkOutline) {
    REQUIRE_WRITER();
    const std::string file = Gsps("default", R"({
        "graphics": [{"type": "POLYLINE", "points": [[2.5,5.5],[12.5,5.5]]}]})");
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    ASSERT_EQ(Realise(c, control, file, 16, 12, true, 0x8080), 0);
    const BITMAPHANDLE& b = c.CurrentBitmap;
    EXPECT_EQ(Sample(b, 7, 5), 255u);
    EXPECT_EQ(Sample(b, 7, 4), 0u);
    EXPECT_EQ(Sample(b, 7, 6), 0u);
    EXPECT_EQ(Sample(b, 7, 2), 128u);  // untouched grey
}

TEST_F(AnnRealizeTest, CieLabColoursLandInColourImages) {
    REQUIRE_WRITER();
    // Encoded CIELab of sRGB red (L* 53.24, a* 80.09, b* 67.20) and the layer's green.
    const std::string file = Gsps("lab", R"({
        "layers": [{"name": "G", "lab": [57494, 10748, 54273]}],
        "graphics": [
          {"layer": "G", "type": "POLYLINE", "filled": true, "points": [[0,0],[4,0],[4,4],[0,4]],
           "lab": [34891, 53479, 50166]},
          {"layer": "G", "type": "POLYLINE", "filled": true, "points": [[6,0],[10,0],[10,4],[6,4]]}
        ]})");
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    ASSERT_EQ(Realise(c, control, file, 12, 6, false), 0);
    ASSERT_EQ(c.CurrentBitmap.BitsPerPixel, 24);
    const std::uint32_t red = Sample(c.CurrentBitmap, 1, 1), green = Sample(c.CurrentBitmap, 8, 1);
    // Bytes B, G, R.
    EXPECT_GT(red >> 16 & 0xFF, 230u);
    EXPECT_LT(red >> 8 & 0xFF, 40u);
    EXPECT_LT(red & 0xFF, 40u);
    EXPECT_GT(green >> 8 & 0xFF, 150u);
    EXPECT_LT(green >> 16 & 0xFF, 80u);
    EXPECT_EQ(Sample(c.CurrentBitmap, 5, 5), 0u);
}

TEST_F(AnnRealizeTest, TextsSitInTheirBoxesAsJustified) {
    REQUIRE_WRITER();
    const std::string file = Gsps("texts", R"({
        "layers": [{"name": "T", "grey": 65535}],
        "texts": [
          {"layer": "T", "text": "Left", "box": [[10,10],[190,40]], "justification": "LEFT"},
          {"layer": "T", "text": "Right", "box": [[10,60],[190,90]], "justification": "RIGHT"},
          {"layer": "T", "text": "Mid", "box": [[190,110],[10,140]], "justification": "CENTER"},
          {"layer": "T", "text": "anchored", "anchor": [20.5,160.5], "anchorVisible": true}
        ]})");
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    ASSERT_EQ(Realise(c, control, file, 200, 200), 0);
    const BITMAPHANDLE& b = c.CurrentBitmap;
    const Box left = ChangedBox(b, 0, 0, 200, 0, 50), right = ChangedBox(b, 0, 0, 200, 50, 100);
    const Box mid = ChangedBox(b, 0, 0, 200, 100, 150);
    ASSERT_FALSE(left.Empty());
    ASSERT_FALSE(right.Empty());
    ASSERT_FALSE(mid.Empty());
    EXPECT_NEAR(left.left, 10, 3);
    EXPECT_GE(left.top, 10);
    EXPECT_NEAR(right.right, 190, 3);
    EXPECT_NEAR((mid.left + mid.right) / 2.0, 100, 3);  // the upside-down box was put right
    EXPECT_GE(mid.top, 110);
    EXPECT_EQ(Sample(b, 20, 160), 255u);  // the visible anchor
    const Box anchored = ChangedBox(b, 0, 0, 200, 150, 200);
    EXPECT_GT(anchored.right, 60);
}

TEST_F(AnnRealizeTest, HostileObjectsEndCleanly) {
    REQUIRE_WRITER();
    const std::string json = std::string(R"({
        "layers": [{"name": "L", "grey": 65535}],
        "graphics": [
          {"layer": "L", "type": "POLYLINE", "pointCount": 100000},
          {"layer": "L", "type": "INTERPOLATED", "points": [[1,1],[30,5],[5,30],[1,1]], "thickness": 1000},
          {"layer": "L", "type": "CIRCLE", "points": [[5,5],[1e30,1e30]]},
          {"layer": "L", "type": "ELLIPSE", "points": [[5,5],[5,5],[5,5],[5,5]]},
          {"layer": "L", "type": "POLYLINE", "points": [[3,3]]}
        ],
        "texts": [{"layer": "L", "text": ")") +
                             std::string(100000, 'W') + R"(", "box": [[-1e9,-1e9],[1e9,1e9]]}]})";
    const std::string file = Gsps("hostile", json);
    for (int bits : {8, 24}) {
        auto control = NewControl();
        TaxLumora& c = Impl(control);
        EXPECT_EQ(Realise(c, control, file, 40, 40, bits == 8), 0);
        EXPECT_NE(c.CurrentBitmap.Addr, nullptr);
    }
}

}  // namespace
