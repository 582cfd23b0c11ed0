// Where the codecs meet files other programs read or write: 16-bit PNG samples scaled to the full
// range with sBIT (PNG 12.5), resolution kept through every format, and files cut short or
// inconsistent refused alike by loading and describing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/File.h"
#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "tests/common/ExternalTools.h"
#include "tests/common/TestFiles.h"

using namespace filefmt;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string TempPath(const std::string& name) { return testsupport::TempPath("faults", name); }

using testsupport::HaveTool;
using testsupport::RunTool;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes Save(BITMAPHANDLE* bitmap, int format, int bits) {
    Bytes buffer(1 << 20);
    std::size_t size = 0;
    EXPECT_EQ(L_SaveBitmapBuffer(buffer.data(), buffer.size(), &size, bitmap, format, bits, 90,
                                 nullptr, nullptr, nullptr),
              SUCCESS);
    buffer.resize(size);
    return buffer;
}

int Load(const Bytes& data, ScopedBitmap& bitmap) {
    return L_LoadBitmapMemory(data.data(), bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGR,
                              data.size(), nullptr, nullptr);
}

int Describe(const Bytes& data, FILEINFO* info) {
    return L_FileInfoMemory(data.data(), info, FILEINFO_STRUCT_SIZE, data.size(), 0, nullptr);
}

// Loading and describing both fail with `status`, and the bitmap keeps what it held.
void ExpectRefusedWith(const Bytes& data, int status) {
    ScopedBitmap bitmap;
    L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 3, 3, 24, ORDER_BGR, nullptr,
                   TOP_LEFT, nullptr, 0);
    FILEINFO info{};
    EXPECT_EQ(Describe(data, &info), status);
    EXPECT_EQ(Load(data, bitmap), status);
    EXPECT_EQ(bitmap->Width, 3);
}

std::uint16_t Sample16(const BITMAPHANDLE& b, int x, int y) {
    engine::ConstPixelView view;
    EXPECT_EQ(engine::AccessPixels(&b, &view), SUCCESS);
    return view.Row16(y)[x];
}

// A 16-bit grey bitmap with `highBit` + 1 significant bits: the extremes and a ramp between.
void MakeGray(ScopedBitmap& bitmap, int width, int height, int highBit) {
    ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height, 16,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    const unsigned maximum = (1u << (highBit + 1)) - 1;
    engine::PixelView view;
    ASSERT_EQ(engine::AccessPixels(bitmap.get(), &view), SUCCESS);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned i = static_cast<unsigned>(y * width + x);
            view.Row16(y)[x] =
                static_cast<std::uint16_t>(i == 0   ? 0
                                           : i == 1 ? maximum
                                                    : (i * 2654435761u) % (maximum + 1));
        }
    bitmap->LowBit = 0;
    bitmap->HighBit = highBit;
}

// ---- PNG chunks ----
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

std::uint32_t Be32(const Bytes& data, std::size_t at) {
    return std::uint32_t{data[at]} << 24 | data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3];
}

// Offset of the chunk of `type`, or npos.
std::size_t FindChunk(const Bytes& png, const char* type) {
    for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + Be32(png, at))
        if (std::memcmp(png.data() + at + 4, type, 4) == 0) return at;
    return std::string::npos;
}

Bytes WithoutChunk(Bytes png, const char* type) {
    const std::size_t at = FindChunk(png, type);
    if (at != std::string::npos) png.erase(png.begin() + at, png.begin() + at + 12 + Be32(png, at));
    return png;
}

Bytes WithChunkBefore(Bytes png, const char* before, const char* type, const Bytes& body) {
    Bytes chunk;
    for (int i = 3; i >= 0; --i) chunk.push_back(static_cast<std::uint8_t>(body.size() >> (8 * i)));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    const std::uint32_t crc = Crc32(chunk.data() + 4, chunk.size() - 4);
    for (int i = 3; i >= 0; --i) chunk.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    const std::size_t at = FindChunk(png, before);
    png.insert(png.begin() + at, chunk.begin(), chunk.end());
    return png;
}

// ---- a classic little-endian TIFF, one strip, built tag by tag ----
struct TiffTag {
    std::uint16_t tag, type;
    std::uint32_t count, value;
};

Bytes BuildTiff(std::vector<TiffTag> tags, const Bytes& strip) {
    Bytes out = {'I', 'I', 42, 0, 0, 0, 0, 0};
    const auto put16 = [&](unsigned v) { out.push_back(v & 0xFF), out.push_back(v >> 8 & 0xFF); };
    const auto put32 = [&](std::uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
    out.insert(out.end(), strip.begin(), strip.end());
    if (out.size() % 2) out.push_back(0);
    const auto ifd = static_cast<std::uint32_t>(out.size());
    std::memcpy(out.data() + 4, &ifd, 4);
    for (TiffTag& t : tags)
        if (t.tag == 273) t.value = 8;  // StripOffsets: right after the header
    std::sort(tags.begin(), tags.end(),
              [](const TiffTag& a, const TiffTag& b) { return a.tag < b.tag; });
    put16(static_cast<unsigned>(tags.size()));
    for (const TiffTag& t : tags) {
        put16(t.tag), put16(t.type), put32(t.count);
        if (t.type == 3 && t.count == 1) put16(t.value), put16(0);
        else put32(t.value);
    }
    put32(0);
    return out;
}

// A 4 × 2 grey image of 8-bit samples in one strip; `changes` replace or add tags.
Bytes BuildTiffWith(const std::vector<TiffTag>& changes, const Bytes& strip) {
    std::vector<TiffTag> tags = {
        {256, 3, 1, 4}, {257, 3, 1, 2}, {258, 3, 1, 8},
        {259, 3, 1, 1}, {262, 3, 1, 1}, {273, 4, 1, 0},
        {277, 3, 1, 1}, {278, 3, 1, 2}, {279, 4, 1, static_cast<std::uint32_t>(strip.size())}};
    for (const TiffTag& change : changes) {
        const auto found = std::find_if(tags.begin(), tags.end(),
                                        [&](const TiffTag& t) { return t.tag == change.tag; });
        if (found != tags.end()) *found = change;
        else tags.push_back(change);
    }
    return BuildTiff(tags, strip);
}

Bytes Tiff(const std::vector<TiffTag>& changes, std::size_t stripBytes = 8) {
    Bytes strip(stripBytes);
    for (std::size_t i = 0; i < strip.size(); ++i) strip[i] = static_cast<std::uint8_t>(i * 37);
    return BuildTiffWith(changes, strip);
}

// ---- BMP ----
void PutLe32(Bytes& data, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) data[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// An 8-bit BMP of width × height with `colors` grey palette entries and the given pixel bits
// (compression 0 plain, 1 RLE8).
Bytes Bmp(int width, int height, unsigned colors, std::uint32_t compression, const Bytes& bits) {
    Bytes bmp(14 + 40 + 4 * colors, 0);
    bmp[0] = 'B', bmp[1] = 'M';
    PutLe32(bmp, 10, static_cast<std::uint32_t>(bmp.size()));
    PutLe32(bmp, 14, 40);
    PutLe32(bmp, 18, static_cast<std::uint32_t>(width));
    PutLe32(bmp, 22, static_cast<std::uint32_t>(height));
    bmp[26] = 1, bmp[28] = 8;
    PutLe32(bmp, 30, compression);
    PutLe32(bmp, 46, colors);
    for (unsigned i = 0; i < colors; ++i)
        bmp[54 + 4 * i] = bmp[55 + 4 * i] = bmp[56 + 4 * i] = static_cast<std::uint8_t>(i * 50);
    bmp.insert(bmp.end(), bits.begin(), bits.end());
    PutLe32(bmp, 2, static_cast<std::uint32_t>(bmp.size()));
    return bmp;
}

// A noisy 24-bit image large enough that a cut lands inside the scan.
void MakeNoise(ScopedBitmap& bitmap, int width, int height) {
    ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height, 24,
                             ORDER_BGR, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    std::uint32_t state = 12345;
    for (std::uint64_t i = 0; i < bitmap->Size; ++i) {
        state = state * 1103515245u + 12345u;
        bitmap->Addr[i] = static_cast<std::uint8_t>(state >> 16);
    }
}

}  // namespace

// ---- 16-bit PNG: samples scaled to the full range, sBIT the original bits ----

TEST(PngSignificantBits, TwelveBitSamplesAreStoredScaledToSixteenBits) {
    ScopedBitmap source;
    MakeGray(source, 13, 7, 11);
    const Bytes png = Save(source.get(), FILE_PNG, 16);
    const std::size_t sbit = FindChunk(png, "sBIT");
    ASSERT_NE(sbit, std::string::npos);
    EXPECT_EQ(png[sbit + 8], 12);
    // Without sBIT every reader sees the stored samples: left-bit replication of each value.
    ScopedBitmap stored;
    ASSERT_EQ(Load(WithoutChunk(png, "sBIT"), stored), SUCCESS);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) {
            const unsigned v = Sample16(*source, x, y);
            ASSERT_EQ(Sample16(*stored, x, y), (v << 4 | v >> 8)) << x << "," << y;
        }
    EXPECT_EQ(Sample16(*stored, 1, 0), 65535);
    // With it, loading gives back every value and the significant bits.
    ScopedBitmap loaded;
    ASSERT_EQ(Load(png, loaded), SUCCESS);
    EXPECT_EQ(loaded->HighBit, 11);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) ASSERT_EQ(Sample16(*loaded, x, y), Sample16(*source, x, y));
}

TEST(PngSignificantBits, OtherWritersScaledSamplesLoadShiftedBack) {
    // A full-range file of replicated 10-bit values, as another writer stores them, plus sBIT 10.
    ScopedBitmap wide;
    ASSERT_EQ(L_CreateBitmap(wide.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 32, 32, 16,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    for (int i = 0; i < 1024; ++i) {
        const unsigned v = static_cast<unsigned>(i);
        reinterpret_cast<std::uint16_t*>(wide->Addr + (i / 32) * wide->BytesPerLine)[i % 32] =
            static_cast<std::uint16_t>(v << 6 | v >> 4);
    }
    wide->LowBit = 0, wide->HighBit = 15;
    const Bytes plain = Save(wide.get(), FILE_PNG, 16);
    ASSERT_EQ(FindChunk(plain, "sBIT"), std::string::npos);
    const Bytes tagged = WithChunkBefore(plain, "IDAT", "sBIT", {10});
    ScopedBitmap loaded;
    ASSERT_EQ(Load(tagged, loaded), SUCCESS);
    EXPECT_EQ(loaded->HighBit, 9);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(Sample16(*loaded, i % 32, i / 32), i);
}

// PIL reads the file on its own (no sBIT handling): its range must be the full 16 bits.
TEST(PngSignificantBits, IndependentReadersSeeTheFullRange) {
    ScopedBitmap source;
    MakeGray(source, 16, 16, 11);
    const std::string path = TempPath("twelve.png");
    ASSERT_EQ(L_SaveBitmap(path.c_str(), source.get(), FILE_PNG, 0, 0, nullptr), SUCCESS);
    bool checked = false;
    if (HaveTool("pngcheck")) {
        const std::string report = RunTool("pngcheck -v " + path);
        EXPECT_NE(report.find("No errors detected"), std::string::npos) << report;
        EXPECT_NE(report.find("sBIT"), std::string::npos) << report;
        checked = true;
    }
    if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0) {
        const std::string extrema = RunTool(
            "/usr/bin/python3 -c 'import sys; from PIL import Image; "
            "print(Image.open(sys.argv[1]).getextrema())' " +
            path);
        EXPECT_EQ(extrema, "(0, 65535)\n");
        checked = true;
    }
    std::remove(path.c_str());
    if (!checked) GTEST_SKIP() << "neither pngcheck nor PIL installed";
}

// ---- resolution through every format ----

TEST(Resolution, DotsPerInchSurviveEveryFormatAndUnknownStaysUnknown) {
    ScopedBitmap gray, color;
    MakeGray(gray, 8, 6, 11);
    MakeNoise(color, 8, 6);
    struct Target {
        BITMAPHANDLE* bitmap;
        int format, bits;
    };
    const Target targets[] = {{color.get(), FILE_BMP, 24},     {gray.get(), FILE_BMP, 8},
                              {color.get(), FILE_JPEG, 24},    {gray.get(), FILE_JPEG, 8},
                              {color.get(), FILE_PNG, 24},     {gray.get(), FILE_PNG, 16},
                              {color.get(), FILE_TIFLZW, 24},  {gray.get(), FILE_TIFLZW, 16},
                              {color.get(), FILE_TIF_JPEG, 24}};
    for (const auto& [x, y] : {std::pair{1270, 1270}, std::pair{300, 72}, std::pair{0, 0}}) {
        for (const Target& t : targets) {
            SCOPED_TRACE(std::to_string(t.format) + "/" + std::to_string(t.bits) + " at " +
                         std::to_string(x) + "x" + std::to_string(y));
            t.bitmap->XResolution = x, t.bitmap->YResolution = y;
            const Bytes file = Save(t.bitmap, t.format, t.bits);
            FILEINFO info{};
            ASSERT_EQ(Describe(file, &info), SUCCESS);
            EXPECT_EQ(info.XResolution, x);
            EXPECT_EQ(info.YResolution, y);
            ScopedBitmap loaded;
            ASSERT_EQ(Load(file, loaded), SUCCESS);
            EXPECT_EQ(loaded->XResolution, x);
            EXPECT_EQ(loaded->YResolution, y);
        }
    }
}

TEST(Resolution, OtherWritersUnitsAreHonoured) {
    // TIFF ResolutionUnit 1 gives an aspect ratio only; 3 is per centimetre.
    const auto withResolution = [](unsigned unit) {
        Bytes tiff = Tiff({{296, 3, 1, unit}, {282, 5, 1, 0}, {283, 5, 1, 0}});
        // Append the two rationals (118/1 per unit) and point both tags at them.
        const auto at = static_cast<std::uint32_t>(tiff.size());
        for (std::uint32_t v : {118u, 1u, 118u, 1u}) {
            for (int i = 0; i < 4; ++i) tiff.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
        const std::uint32_t ifd =
            tiff[4] | tiff[5] << 8 | tiff[6] << 16 | std::uint32_t{tiff[7]} << 24;
        const unsigned count = tiff[ifd] | tiff[ifd + 1] << 8;
        for (unsigned i = 0; i < count; ++i) {
            const std::size_t entry = ifd + 2 + 12 * i;
            const unsigned tag = tiff[entry] | tiff[entry + 1] << 8;
            if (tag == 282) PutLe32(tiff, entry + 8, at);
            if (tag == 283) PutLe32(tiff, entry + 8, at + 8);
        }
        return tiff;
    };
    FILEINFO info{};
    ASSERT_EQ(Describe(withResolution(3), &info), SUCCESS);
    EXPECT_EQ(info.XResolution, 300);  // 118 per cm
    ASSERT_EQ(Describe(withResolution(2), &info), SUCCESS);
    EXPECT_EQ(info.XResolution, 118);
    ASSERT_EQ(Describe(withResolution(1), &info), SUCCESS);
    EXPECT_EQ(info.XResolution, 0);
    EXPECT_EQ(info.YResolution, 0);

    // A JPEG whose JFIF header gives no unit (aspect only) and whose EXIF IFD0 holds 400 × 200 dpi.
    ScopedBitmap color;
    MakeNoise(color, 16, 8);
    color->XResolution = color->YResolution = 0;
    Bytes jpeg = Save(color.get(), FILE_JPEG, 24);
    ScopedBitmap plain;
    ASSERT_EQ(Load(jpeg, plain), SUCCESS);
    EXPECT_EQ(plain->XResolution, 0);
    Bytes tiff = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 3};
    const auto be16 = [&](unsigned v) { tiff.push_back(v >> 8 & 0xFF), tiff.push_back(v & 0xFF); };
    const auto be32 = [&](std::uint32_t v) { be16(v >> 16), be16(v & 0xFFFF); };
    be16(0x011A), be16(5), be32(1), be32(8 + 2 + 36 + 4);
    be16(0x011B), be16(5), be32(1), be32(8 + 2 + 36 + 4 + 8);
    be16(0x0128), be16(3), be32(1), be16(2), be16(0);
    be32(0);
    be32(400), be32(1), be32(400), be32(2);
    Bytes app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    app1.insert(app1.end(), tiff.begin(), tiff.end());
    app1[2] = static_cast<std::uint8_t>((app1.size() - 2) >> 8);
    app1[3] = static_cast<std::uint8_t>(app1.size() - 2);
    jpeg.insert(jpeg.begin() + 2, app1.begin(), app1.end());
    ScopedBitmap exif;
    ASSERT_EQ(Load(jpeg, exif), SUCCESS);
    EXPECT_EQ(exif->XResolution, 400);
    EXPECT_EQ(exif->YResolution, 200);
}

// ---- files cut short or inconsistent: refused by loading and describing alike ----

TEST(CutShortFiles, JpegWhoseScanEndsHalfWayIsRefused) {
    ScopedBitmap source;
    MakeNoise(source, 64, 64);
    const Bytes whole = Save(source.get(), FILE_JPEG, 24);
    for (const double part : {0.3, 0.6, 0.95}) {
        SCOPED_TRACE(part);
        ExpectRefusedWith(
            Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * part)),
            ERROR_FILE_CORRUPT);
    }
    // A file complete but for its end-of-image marker keeps loading, as elsewhere.
    const Bytes noEnd(whole.begin(), whole.end() - 2);
    ScopedBitmap loaded;
    FILEINFO info{};
    EXPECT_EQ(Describe(noEnd, &info), SUCCESS);
    EXPECT_EQ(Load(noEnd, loaded), SUCCESS);
    EXPECT_EQ(Describe(whole, &info), SUCCESS);
}

TEST(CutShortFiles, ProgressiveJpegFromCjpegCutShortIsRefused) {
    if (!HaveTool("cjpeg")) GTEST_SKIP() << "cjpeg not installed";
    ScopedBitmap source;
    MakeNoise(source, 48, 40);
    const std::string bmp = TempPath("noise.bmp"), jpg = TempPath("noise.jpg");
    ASSERT_EQ(L_SaveBitmap(bmp.c_str(), source.get(), FILE_BMP, 24, 0, nullptr), SUCCESS);
    RunTool("cjpeg -progressive -outfile " + jpg + " " + bmp);
    const Bytes whole = ReadFile(jpg);
    ASSERT_GT(whole.size(), 1000u);
    ScopedBitmap loaded;
    EXPECT_EQ(Load(whole, loaded), SUCCESS);
    ExpectRefusedWith(
        Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2)),
        ERROR_FILE_CORRUPT);
    std::remove(bmp.c_str());
    std::remove(jpg.c_str());
}

TEST(CutShortFiles, PngWithoutItsEndIsRefused) {
    ScopedBitmap source;
    MakeGray(source, 40, 30, 15);
    const Bytes whole = Save(source.get(), FILE_PNG, 16);
    const std::size_t end = FindChunk(whole, "IEND");
    ASSERT_NE(end, std::string::npos);
    ExpectRefusedWith(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(end)),
                      ERROR_FILE_CORRUPT);
}

TEST(InconsistentBmp, RleRunsAndDeltasMustStayInTheirRowAndImage) {
    // 4 × 2 RLE8, three palette entries.
    const Bytes good = {4, 1, 0, 0, 0, 2,
                        2, 0, 2, 2, 0, 1};  // row: 1 1 1 1; row: delta 2, then 2 2
    ScopedBitmap loaded;
    ASSERT_EQ(Load(Bmp(4, 2, 3, 1, good), loaded), SUCCESS);
    EXPECT_EQ(loaded->Addr[loaded->BytesPerLine * 1 + 0],
              1);  // bottom-up: the first row is the last
    EXPECT_EQ(loaded->Addr[0], 0);
    EXPECT_EQ(loaded->Addr[2], 2);
    EXPECT_EQ(loaded->Addr[3], 2);
    const std::vector<Bytes> bad = {
        {5, 1, 0, 0, 4, 1, 0, 1},        // a run of 5 in a row of 4
        {0, 5, 1, 1, 1, 1, 1, 0, 0, 1},  // an absolute run of 5 literal pixels in a row of 4
        {0, 2, 5, 0, 0, 1},              // a delta past the row
        {0, 2, 0, 2, 0, 1},              // a delta below the image
        {4, 1, 0, 0, 2, 1},              // data ending before the last row is complete
        {4, 3, 0, 0, 4, 1, 0, 1},        // index 3 of a three-entry palette
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectRefusedWith(Bmp(4, 2, 3, 1, bad[i]), ERROR_FILE_CORRUPT);
    }
}

TEST(InconsistentBmp, PaletteIndexPastThePaletteIsRefused) {
    // 2 × 1 uncompressed, two palette entries, indexes 1 and 200.
    ExpectRefusedWith(Bmp(2, 1, 2, 0, {1, 200, 0, 0}), ERROR_FILE_CORRUPT);
    ScopedBitmap loaded;
    EXPECT_EQ(Load(Bmp(2, 1, 2, 0, {1, 0, 0, 0}), loaded), SUCCESS);
}

TEST(InconsistentTiff, WhatNeitherPathCanHonourIsRefusedByBoth) {
    ScopedBitmap loaded;
    ASSERT_EQ(Load(Tiff({}), loaded), SUCCESS);  // the base file is good
    // A palette image without its colour map (libtiff would read it as grey).
    ExpectRefusedWith(Tiff({{262, 3, 1, 3}}), ERROR_FILE_CORRUPT);
    // 12 bits per sample: 12 bytes of strip for 8 samples.
    ExpectRefusedWith(Tiff({{258, 3, 1, 12}, {279, 4, 1, 12}}, 12), ERROR_FEATURE_NOT_SUPPORTED);
    // Floating-point samples.
    ExpectRefusedWith(Tiff({{258, 3, 1, 32}, {339, 3, 1, 3}, {279, 4, 1, 32}}, 32),
                      ERROR_FEATURE_NOT_SUPPORTED);
    // A compression libtiff has no codec for.
    ExpectRefusedWith(Tiff({{259, 3, 1, 34712}}), ERROR_FEATURE_NOT_SUPPORTED);
    // Three samples per pixel whose strip holds one pixel's worth of a row.
    ExpectRefusedWith(Tiff({{277, 3, 1, 3}, {262, 3, 1, 2}}), ERROR_FILE_CORRUPT);
}

TEST(InconsistentTiff, StripsCutShortAreRefused) {
    // The strip claims more bytes than follow it: a file cut short or still being written.
    ExpectRefusedWith(Tiff({{279, 4, 1, 4000}}), ERROR_FILE_CORRUPT);
    // Uncompressed, the strip holds fewer bytes than its rows need.
    ExpectRefusedWith(Tiff({{279, 4, 1, 5}}), ERROR_FILE_CORRUPT);
    // Grey and alpha go through libtiff's RGBA interface; a PackBits literal run of 16 bytes with
    // 3 present used to leave the rest of the image blank and report success.
    const std::vector<TiffTag> packBits = {
        {259, 3, 1, 32773}, {277, 3, 1, 2}, {338, 3, 1, 2}, {279, 4, 1, 4}};
    ScopedBitmap bitmap;
    EXPECT_EQ(Load(BuildTiffWith(packBits, {15, 1, 2, 3}), bitmap), ERROR_FILE_CORRUPT);
    EXPECT_EQ(
        Load(BuildTiffWith(packBits, {15, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}),
             bitmap),
        ERROR_FILE_CORRUPT);  // bytecount 4 of 17: still short
    std::vector<TiffTag> whole = packBits;
    whole.back().value = 17;
    EXPECT_EQ(
        Load(BuildTiffWith(whole, {15, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}),
             bitmap),
        SUCCESS);
}

// The fuzzing seeds, written by other programs, keep loading, and describing agrees with loading.
TEST(OtherWritersFiles, SeedImagesDescribeAndLoadAsBefore) {
    const std::filesystem::path folder = std::filesystem::path(AXLUMORA_TEST_DATA_DIR) / "seeds";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        // Folders hold the other fuzz targets' seeds.
        if (!entry.is_regular_file() || entry.path().extension() == ".dcm" ||
            entry.path().extension() == ".dib")
            continue;
        SCOPED_TRACE(entry.path().string());
        const Bytes data = ReadFile(entry.path().string());
        FILEINFO info{};
        ScopedBitmap bitmap;
        EXPECT_EQ(Describe(data, &info), SUCCESS);
        EXPECT_EQ(Load(data, bitmap), SUCCESS);
        EXPECT_EQ(info.Width, bitmap->Width);
        ++files;
    }
    EXPECT_GT(files, 5);
}
