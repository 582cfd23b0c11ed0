// The form statements of the host: snapshots read back as PNG files, window messages that move
// the view, and the events that mouse and keyboard statements make the control fire.
#include <png.h>

#include "tests/host/HostProcess.h"

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    // 0xRRGGBB
    std::uint32_t at(int x, int y) const {
        const std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
        return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
    }
};

std::optional<Picture> ReadPng(const std::filesystem::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
    image.format = PNG_FORMAT_RGB;
    Picture picture;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr))
        return std::nullopt;
    return picture;
}

// The grey the test ramp of LoadBuffer_Crop shows at image (x, y): the sample counts on across
// rows and wraps at 32768; the top 8 of 16 bits are shown.
std::uint32_t RampPixel(int imageWidth, int x, int y) {
    const std::uint32_t grey = ((static_cast<std::uint32_t>(y) * imageWidth + x) & 0x7FFF) >> 8;
    return grey << 16 | grey << 8 | grey;
}

}  // namespace

TEST_F(HostTest, SnapshotShowsTheImageWhereTheRectanglesSay) {
    const HostResult r = RunScript(
        "CreateBitmap 100 80 24\n"
        "Fill 0x0000FF\n"         // red, as a colour value
        "BackColor = 0x00FF00\n"  // green
        "resize 200 150\n"
        "snapshot \"normal.png\"\n"
        "PAINTSIZEMODE = 1\n"
        "SetDstRect 20 10 50 40\n"
        "Repaint\n"
        "snapshot stretched.png\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("snapshot \"normal.png\" (200x150)"), std::string::npos) << r.out;

    const auto normal = ReadPng(Path("normal.png"));
    ASSERT_TRUE(normal);
    EXPECT_EQ(normal->width, 200);
    EXPECT_EQ(normal->height, 150);
    EXPECT_EQ(normal->at(0, 0), 0xFF0000u);
    EXPECT_EQ(normal->at(99, 79), 0xFF0000u);
    EXPECT_EQ(normal->at(100, 79), 0x00FF00u);
    EXPECT_EQ(normal->at(99, 80), 0x00FF00u);
    EXPECT_EQ(normal->at(199, 149), 0x00FF00u);

    const auto stretched = ReadPng(Path("stretched.png"));
    ASSERT_TRUE(stretched);
    EXPECT_EQ(stretched->at(19, 10), 0x00FF00u);
    EXPECT_EQ(stretched->at(20, 10), 0xFF0000u);
    EXPECT_EQ(stretched->at(69, 49), 0xFF0000u);
    EXPECT_EQ(stretched->at(70, 49), 0x00FF00u);
    EXPECT_EQ(stretched->at(20, 50), 0x00FF00u);
    EXPECT_EQ(stretched->at(0, 0), 0x00FF00u);
}

TEST_F(HostTest, ScrollingAndResizingMoveTheViewOnce) {
    const HostResult r = RunScript(
        "LoadBuffer_Crop 0 \"\" 512 384 0 0 0 0 0\n"
        "resize 200 150\n"
        "scroll h 100\n"
        "scroll v 70\n"
        "snapshot scrolled.png\n"
        "resize 180 140\n"  // a resize while scrolled keeps the view where it was
        "snapshot resized.png\n"
        "scroll v bottom\n"
        "snapshot bottom.png\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    struct Shot {
        const char* name;
        int width, height, left, top;
    } shots[] = {{"scrolled.png", 200, 150, 100, 70},
                 {"resized.png", 180, 140, 100, 70},
                 {"bottom.png", 180, 140, 100, 384 - 140}};
    for (const Shot& shot : shots) {
        const auto picture = ReadPng(Path(shot.name));
        ASSERT_TRUE(picture) << shot.name;
        ASSERT_EQ(picture->width, shot.width) << shot.name;
        ASSERT_EQ(picture->height, shot.height) << shot.name;
        for (int y = 0; y < shot.height; y += 7)
            for (int x = 0; x < shot.width; x += 5)
                ASSERT_EQ(picture->at(x, y), RampPixel(512, shot.left + x, shot.top + y))
                    << shot.name << " at " << x << "," << y;
    }
}

TEST_F(HostTest, MouseAndKeyStatementsFireTheEvents) {
    const HostResult r = RunScript(
        "LoadBuffer_Crop 0 \"\" 512 384 0 0 0 0 0\n"
        "resize 200 150\n"
        "scroll h 100\n"
        "mousedown left 10 20\n"
        "mousemove 15 25\n"
        "mouseup left 15 25\n"
        "mousedown right 3 4\n"
        "mousemove 6 7\n"
        "mouseup right 6 7\n"
        "dblclick 1 2\n"
        "key a\n"
        "key \" \"\n"
        "key 13\n",
        {"--events"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    // Positions arrive in the paint box's coordinates: the box sits 100 pixels left.
    const char* expected[] = {
        "event OnMouseDown(Button=0, Shift=8, x=110, y=20)",
        "mousedown left 10 20",
        "event OnMouseMove(Shift=8, x=115, y=25)",  // the held button goes along
        "event OnMouseUp(Button=0, Shift=0, x=115, y=25)",
        "event OnClick()",
        "event OnMouseDown(Button=1, Shift=16, x=103, y=4)",
        "event OnMouseMove(Shift=16, x=106, y=7)",
        "event OnMouseUp(Button=1, Shift=0, x=106, y=7)",
        "mouseup right 6 7",
        "event OnDblClick()",
        "event OnMouseDown(Button=0, Shift=72, x=101, y=2)",  // the double click's own press
        "dblclick 1 2",
        "event OnKeyPress(97)",
        "key a",
        "event OnKeyPress(32)",
        "event OnKeyPress(13)",
    };
    std::size_t from = 0;
    for (const char* line : expected) {
        const std::size_t at = r.out.find(line, from);
        EXPECT_NE(at, std::string::npos) << "missing, or out of order: " << line << "\n" << r.out;
        if (at != std::string::npos) from = at;
    }
    // A right-button release is no click.
    const std::size_t rightUp = r.out.find("OnMouseUp(Button=1");
    ASSERT_NE(rightUp, std::string::npos);
    EXPECT_GT(r.out.find("OnClick", rightUp), r.out.find("mouseup right", rightUp));
}

TEST_F(HostTest, FormStatementFaultsStopTheScript) {
    const HostResult bad = RunScript(
        "CreateBitmap 10 10 24\n"
        "scroll x 10\n"
        "mousedown left 10\n"
        "resize -1 5\n"
        "key \"ab\"\n"
        "snapshot\n"
        "wheel 40000\n"
        "paint now\n");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.out.empty()) << bad.out;  // found before anything ran
    for (const char* message :
         {"script.txt:2: usage: scroll h|v", "script.txt:3: usage: mousedown left|right|middle X Y",
          "script.txt:4: WIDTH must be an integer from 0 to 65535",
          "script.txt:5: key takes one character", "script.txt:6: usage: snapshot FILE.png",
          "script.txt:7: DELTA must be an integer", "script.txt:8: usage: paint"})
        EXPECT_NE(bad.err.find(message), std::string::npos) << message << "\n" << bad.err;

    const HostResult unwritable =
        RunScript("CreateBitmap 10 10 24\nsnapshot no/such/dir/x.png\nBitmapWidth\n");
    EXPECT_EQ(unwritable.exitCode, 2);
    EXPECT_NE(unwritable.err.find("script.txt:2: cannot write 'no/such/dir/x.png'"),
              std::string::npos)
        << unwritable.err;
    EXPECT_EQ(unwritable.out.find("BitmapWidth"), std::string::npos);  // the run stopped there
}
