// The DICOM copies the raw loaders write, read back by an independent toolkit's tools: they must
// parse cleanly and decode to exactly the pixels that were loaded.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/common/ExternalTools.h"
#include "tests/common/TestFiles.h"
#include "tests/control/ControlFixture.h"

namespace {

namespace fs = std::filesystem;

using testsupport::HaveTool;
using testsupport::RunTool;

// The samples of a 16-bit ASCII PGM, row by row.
std::vector<unsigned> ReadAsciiPgm(const fs::path& path, int* width, int* height) {
    std::ifstream in(path);
    std::string magic, token;
    in >> magic;
    std::vector<long> header;
    while (header.size() < 3 && in >> token) {
        if (token[0] == '#') {
            std::getline(in, token);
            continue;
        }
        header.push_back(std::stol(token));
    }
    if (magic != "P2" || header.size() < 3) return {};
    *width = static_cast<int>(header[0]);
    *height = static_cast<int>(header[1]);
    std::vector<unsigned> samples;
    unsigned v;
    while (in >> v) samples.push_back(v);
    return samples;
}

class RawLoaderCopies : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("dcmdump") || !HaveTool("dcm2pnm"))
            GTEST_SKIP() << "DCMTK tools not installed";
    }

    // The file parses without errors or warnings and decodes to the control's current image.
    void ExpectCopyOfCurrentImage(const ComPtr<IaxLumora>& c, const fs::path& file) {
        int status = -1;
        const std::string dump = RunTool("dcmdump " + file.string(), &status);
        EXPECT_EQ(status, 0) << dump;
        EXPECT_EQ(dump.find("W: "), std::string::npos) << dump;
        EXPECT_EQ(dump.find("E: "), std::string::npos) << dump;
        const fs::path pgm = file.string() + ".pgm";
        const std::string converted =
            RunTool("dcm2pnm +opw " + file.string() + " " + pgm.string(), &status);
        ASSERT_EQ(status, 0) << converted;
        int width = 0, height = 0;
        const std::vector<unsigned> samples = ReadAsciiPgm(pgm, &width, &height);
        const BITMAPHANDLE& b = Impl(c).CurrentBitmap;
        ASSERT_EQ(width, b.Width);
        ASSERT_EQ(height, b.Height);
        ASSERT_EQ(samples.size(), static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint16_t v;
                std::memcpy(&v, b.Addr + static_cast<std::size_t>(y) * b.BytesPerLine + 2 * x, 2);
                ASSERT_EQ(samples[static_cast<std::size_t>(y) * width + x], v) << x << "," << y;
            }
    }

    testsupport::ScratchFolder dir_{"copies"};
};

std::vector<std::uint16_t> NoisyFrame(int width, int height) {
    std::vector<std::uint16_t> frame(static_cast<std::size_t>(width) * height);
    std::uint32_t state = 7;
    for (auto& v : frame) {
        state = state * 1103515245u + 12345u;
        v = static_cast<std::uint16_t>(state >> 16);
    }
    return frame;
}

}  // namespace

TEST_F(RawLoaderCopies, LoadBufferWritesAnUncompressedGreyCopy) {
    auto c = NewControl();
    const auto frame = NoisyFrame(37, 21);  // odd width: padded rows must not leak into the file
    const fs::path file = dir_ / "buffer.dcm";
    BStr name = BStr::FromUtf8(file.string());
    LONG value = 0;
    ASSERT_EQ(c->LoadBuffer(reinterpret_cast<std::uintptr_t>(frame.data()), name.get(), 37, 21,
                            0x40000, &value),
              S_OK);
    ASSERT_EQ(value, 1);
    ExpectCopyOfCurrentImage(c, file);
}

TEST_F(RawLoaderCopies, NormalAndDarkWritesTheFlippedImage) {
    auto c = NewControl();
    std::vector<std::uint8_t> normal(3 * 40 * 30 / 2), dark(normal.size());
    for (std::size_t i = 0; i < normal.size(); ++i) {
        normal[i] = static_cast<std::uint8_t>(i * 37 + 11);
        dark[i] = static_cast<std::uint8_t>((i * 13) & 0x1F);
    }
    const fs::path file = dir_ / "dark.dcm";
    BStr name = BStr::FromUtf8(file.string());
    LONG value = 0;
    ASSERT_EQ(c->LoadBuffer_NormalAndDark(reinterpret_cast<std::uintptr_t>(normal.data()),
                                          reinterpret_cast<std::uintptr_t>(dark.data()), name.get(),
                                          40, 30, 0, &value),
              S_OK);
    ASSERT_EQ(value, 1);
    ExpectCopyOfCurrentImage(c, file);
}

TEST_F(RawLoaderCopies, LoadFnRawWritesARunLengthCopy) {
    auto c = NewControl();
    const auto pixels = NoisyFrame(33, 17);
    std::vector<std::uint8_t> bytes(4);
    bytes[0] = 33;
    bytes[2] = 17;
    for (std::uint16_t v : pixels) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    const fs::path raw = dir_ / "in.raw";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const fs::path file = dir_ / "rle.dcm";
    BStr in = BStr::FromUtf8(raw.string()), out = BStr::FromUtf8(file.string());
    LONG value = 0;
    ASSERT_EQ(c->LoadFnRAW(in.get(), out.get(), 0, 0, 0x10001, &value), S_OK);
    ASSERT_EQ(value, 1);
    int status = -1;
    EXPECT_NE(RunTool("dcmdump " + file.string(), &status).find("RLELossless"), std::string::npos);
    ExpectCopyOfCurrentImage(c, file);
}
