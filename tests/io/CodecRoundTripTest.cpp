// Every format written and read back by the engine, depth conversion on save, and what
// independent readers make of our files.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/File.h"
#include "engine/Kernel.h"
#include "tests/common/ExternalTools.h"
#include "tests/common/TestFiles.h"

using namespace filefmt;
using namespace cmnt;

namespace {

std::string TempPath(const std::string& name) { return testsupport::TempPath("io", name); }

// A 16-bit grey image with 12 significant bits and values that exercise every bit.
void MakeGray16(ScopedBitmap& bitmap, int width, int height, int highBit) {
    ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height, 16,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    std::mt19937 random(7);
    const unsigned maximum = (1u << (highBit + 1)) - 1;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(bitmap->Addr + y * bitmap->BytesPerLine);
        for (int x = 0; x < width; ++x)
            row[x] = static_cast<std::uint16_t>(random() % (maximum + 1));
    }
    bitmap->LowBit = 0;
    bitmap->HighBit = highBit;
}

void MakeColor(ScopedBitmap& bitmap, int width, int height) {
    ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height, 24,
                             ORDER_BGR, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap->Addr + y * bitmap->BytesPerLine + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 7), p[1] = static_cast<std::uint8_t>(y * 5),
            p[2] = static_cast<std::uint8_t>(x + y);
        }
}

std::uint16_t Sample16(const BITMAPHANDLE& b, int x, int y) {
    return reinterpret_cast<const std::uint16_t*>(b.Addr + y * b.BytesPerLine)[x];
}

bool SamePixels(const BITMAPHANDLE& a, const BITMAPHANDLE& b) {
    if (a.Width != b.Width || a.Height != b.Height || a.BitsPerPixel != b.BitsPerPixel)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(a.Width) * ((a.BitsPerPixel + 7) / 8);
    for (int y = 0; y < a.Height; ++y)
        if (std::memcmp(a.Addr + y * a.BytesPerLine, b.Addr + y * b.BytesPerLine, rowBytes) != 0)
            return false;
    return true;
}

using testsupport::HaveTool;
using testsupport::RunTool;

}  // namespace

TEST(LosslessRoundTrip, SixteenBitGreyKeepsEverySampleInEveryLosslessFormat) {
    ScopedBitmap source;
    MakeGray16(source, 37, 23, 11);
    for (int format : {FILE_TIFLZW, FILE_PNG, FILE_DICOM_GRAY, FILE_DICOM_RLE_GRAY,
                       FILE_DICOM_JPEG_GRAY, FILE_DICOM_J2K_GRAY}) {
        SCOPED_TRACE(format);
        const std::string path = TempPath("gray16_" + std::to_string(format));
        ASSERT_EQ(L_SaveBitmap(path.c_str(), source.get(), format, 0, 0, nullptr), SUCCESS);
        FILEINFO info{};
        ASSERT_EQ(L_FileInfo(path.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
        EXPECT_EQ(info.Format, format);
        EXPECT_EQ(info.BitsPerPixel, 16);
        EXPECT_EQ(info.Width, 37);
        EXPECT_EQ(info.Height, 23);
        ScopedBitmap loaded;
        ASSERT_EQ(L_LoadFile(path.c_str(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_GRAY, 0,
                             nullptr, nullptr, nullptr, nullptr),
                  SUCCESS);
        EXPECT_TRUE(SamePixels(*source, *loaded));
        if (format != FILE_TIFLZW) {
            EXPECT_EQ(loaded->HighBit, 11);
        }
        std::remove(path.c_str());
    }
}

TEST(LosslessRoundTrip, ColourKeepsEveryByteInLosslessFormats) {
    ScopedBitmap source;
    MakeColor(source, 19, 12);
    for (int format : {FILE_BMP, FILE_TIFLZW, FILE_PNG, FILE_DICOM_COLOR, FILE_DICOM_RLE_COLOR,
                       FILE_DICOM_J2K_COLOR}) {
        SCOPED_TRACE(format);
        std::vector<std::uint8_t> buffer(1 << 16);
        std::size_t size = 0;
        ASSERT_EQ(L_SaveBitmapBuffer(buffer.data(), buffer.size(), &size, source.get(), format, 24,
                                     0, nullptr, nullptr, nullptr),
                  SUCCESS);
        ScopedBitmap loaded;
        ASSERT_EQ(L_LoadBitmapMemory(buffer.data(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0,
                                     ORDER_BGR, size, nullptr, nullptr),
                  SUCCESS);
        EXPECT_EQ(loaded->Order, ORDER_BGR);
        EXPECT_TRUE(SamePixels(*source, *loaded));
    }
}

TEST(DepthConversion, SixteenBitToEightUsesTheSignificantBits) {
    ScopedBitmap source;
    MakeGray16(source, 8, 2, 11);
    auto* row = reinterpret_cast<std::uint16_t*>(source->Addr);
    row[0] = 4095, row[1] = 16, row[2] = 0, row[3] = 0xFFFF;  // the last lies above HighBit
    std::vector<std::uint8_t> buffer(1 << 16);
    std::size_t size = 0;
    ASSERT_EQ(L_SaveBitmapBuffer(buffer.data(), buffer.size(), &size, source.get(), FILE_BMP, 8, 0,
                                 nullptr, nullptr, nullptr),
              SUCCESS);
    ScopedBitmap loaded;
    ASSERT_EQ(L_LoadBitmapMemory(buffer.data(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0,
                                 ORDER_BGR, size, nullptr, nullptr),
              SUCCESS);
    ASSERT_EQ(loaded->BitsPerPixel, 8);
    EXPECT_EQ(loaded->Addr[0], 255);
    EXPECT_EQ(loaded->Addr[1], 1);
    EXPECT_EQ(loaded->Addr[2], 0);
    EXPECT_EQ(loaded->Addr[3], 255);  // saturated, not wrapped
}

TEST(DepthConversion, GreyBecomesColourAndColourBecomesGrey) {
    ScopedBitmap gray;
    MakeGray16(gray, 4, 4, 15);
    std::vector<std::uint8_t> buffer(1 << 16);
    std::size_t size = 0;
    ASSERT_EQ(L_SaveBitmapBuffer(buffer.data(), buffer.size(), &size, gray.get(), FILE_DICOM_COLOR,
                                 0, 0, nullptr, nullptr, nullptr),
              SUCCESS);
    ScopedBitmap loaded;
    ASSERT_EQ(L_LoadBitmapMemory(buffer.data(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0,
                                 ORDER_BGR, size, nullptr, nullptr),
              SUCCESS);
    EXPECT_EQ(loaded->BitsPerPixel, 24);
    EXPECT_EQ(loaded->Addr[0], Sample16(*gray, 0, 0) >> 8);

    ScopedBitmap color;
    MakeColor(color, 4, 4);
    color->Addr[0] = 255, color->Addr[1] = 255, color->Addr[2] = 255;
    ASSERT_EQ(L_SaveBitmapBuffer(buffer.data(), buffer.size(), &size, color.get(), FILE_DICOM_GRAY,
                                 16, 0, nullptr, nullptr, nullptr),
              SUCCESS);
    ScopedBitmap grey;
    ASSERT_EQ(L_LoadBitmapMemory(buffer.data(), grey.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_GRAY,
                                 size, nullptr, nullptr),
              SUCCESS);
    EXPECT_EQ(grey->BitsPerPixel, 16);
    EXPECT_EQ(Sample16(*grey, 0, 0), 65535);
}

// Odd widths and heights at every depth, runs longer than one PackBits run, and rows that end in
// the middle of a run: RLE keeps every sample and other decoders agree.
TEST(RleLossless, OddSizesAndLongRunsRoundTripAndDcmtkAgrees) {
    struct Case {
        int width, height, bits;
    };
    for (const Case c : {Case{3, 3, 8}, Case{9, 9, 8}, Case{301, 7, 8}, Case{5, 3, 24},
                         Case{257, 2, 24}, Case{7, 5, 16}, Case{1, 1, 8}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" +
                     std::to_string(c.bits));
        ScopedBitmap source;
        if (c.bits == 16) {
            MakeGray16(source, c.width, c.height, 15);
        } else {
            MakeColor(source, c.width, c.height);
            // A flat stretch longer than 128 samples, then noise.
            for (int x = 0; x < c.width * 3; ++x)
                source->Addr[x] = x < 400 ? 17 : static_cast<std::uint8_t>(x * 37);
        }
        const int format = c.bits == 24 ? FILE_DICOM_RLE_COLOR : FILE_DICOM_RLE_GRAY;
        const int bits = c.bits == 24 ? 24 : c.bits;
        ScopedBitmap expected;
        if (c.bits == 8) {
            // The colour source saved as grey: compare against what the 8-bit BMP path makes of it.
            std::vector<std::uint8_t> bmp(1 << 20);
            std::size_t size = 0;
            ASSERT_EQ(L_SaveBitmapBuffer(bmp.data(), bmp.size(), &size, source.get(), FILE_BMP, 8,
                                         0, nullptr, nullptr, nullptr),
                      SUCCESS);
            ASSERT_EQ(L_LoadBitmapMemory(bmp.data(), expected.get(), BITMAPHANDLE_STRUCT_SIZE, 8,
                                         ORDER_GRAY, size, nullptr, nullptr),
                      SUCCESS);
        }
        const std::string path = TempPath("rle.dcm");
        ASSERT_EQ(L_SaveBitmap(path.c_str(), source.get(), format, bits, 0, nullptr), SUCCESS);
        ScopedBitmap loaded;
        ASSERT_EQ(L_LoadFile(path.c_str(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGR, 0,
                             nullptr, nullptr, nullptr, nullptr),
                  SUCCESS);
        EXPECT_TRUE(SamePixels(c.bits == 8 ? *expected : *source, *loaded));
        if (HaveTool("dcm2pnm")) {
            const std::string png = path + ".png";
            RunTool(std::string("dcm2pnm ") + (c.bits == 16 ? "+on2 " : "+on ") + path + " " + png);
            ScopedBitmap decoded;
            ASSERT_EQ(L_LoadFile(png.c_str(), decoded.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGR,
                                 0, nullptr, nullptr, nullptr, nullptr),
                      SUCCESS);
            EXPECT_TRUE(SamePixels(*loaded, *decoded));
            std::remove(png.c_str());
        }
        std::remove(path.c_str());
    }
}

// Frames whose codestream outgrows the raw samples (tiny, or pure noise over all 16 bits) once
// overran GDCM's JPEG 2000 buffer; they must come back sample for sample.
TEST(Jpeg2000Lossless, TinyAndNoisyFramesRoundTrip) {
    struct Case {
        int width, height, bits;
    };
    for (const Case c : {Case{1, 1, 16}, Case{2, 3, 16}, Case{16, 9, 16}, Case{64, 1, 16},
                         Case{1, 1, 24}, Case{5, 3, 24}, Case{3, 7, 8}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" +
                     std::to_string(c.bits));
        ScopedBitmap source;
        if (c.bits == 24) {
            MakeColor(source, c.width, c.height);
        } else {
            MakeGray16(source, c.width, c.height, c.bits == 16 ? 15 : 7);
        }
        std::vector<std::uint8_t> buffer(1 << 16);
        std::size_t size = 0;
        ASSERT_EQ(L_SaveBitmapBuffer(buffer.data(), buffer.size(), &size, source.get(),
                                     c.bits == 24 ? FILE_DICOM_J2K_COLOR : FILE_DICOM_J2K_GRAY,
                                     c.bits == 24 ? 24 : 0, 0, nullptr, nullptr, nullptr),
                  SUCCESS);
        ScopedBitmap loaded;
        ASSERT_EQ(L_LoadBitmapMemory(buffer.data(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0,
                                     ORDER_BGR, size, nullptr, nullptr),
                  SUCCESS);
        EXPECT_TRUE(SamePixels(*source, *loaded));
    }
}

// Every format and depth at every small size, samples pure noise over all their bits: each
// save succeeds and loads back the same size, and lossless formats the same samples. (Under the
// sanitizers this is where a library's buffer sized from the raw frame would show.)
TEST(AllFormats, SmallNoisyFramesSaveAndLoadBack) {
    struct Target {
        int format, bits;
        bool lossless;
    };
    const Target targets[] = {{FILE_BMP, 8, true},
                              {FILE_BMP, 24, true},
                              {FILE_JPEG, 8, false},
                              {FILE_JPEG_422, 24, false},
                              {FILE_TIFLZW, 8, true},
                              {FILE_TIFLZW, 16, true},
                              {FILE_TIFLZW, 24, true},
                              {FILE_TIF_JPEG, 24, false},
                              {FILE_PNG, 16, true},
                              {FILE_PNG, 24, true},
                              {FILE_DICOM_GRAY, 16, true},
                              {FILE_DICOM_COLOR, 24, true},
                              {FILE_DICOM_RLE_GRAY, 8, true},
                              {FILE_DICOM_RLE_GRAY, 16, true},
                              {FILE_DICOM_RLE_COLOR, 24, true},
                              {FILE_DICOM_JPEG_GRAY, 8, false},
                              {FILE_DICOM_JPEG_GRAY, 16, true},
                              {FILE_DICOM_JPEG_COLOR, 24, false},
                              {FILE_DICOM_J2K_GRAY, 8, true},
                              {FILE_DICOM_J2K_GRAY, 16, true},
                              {FILE_DICOM_J2K_COLOR, 24, true}};
    std::mt19937 random(11);
    std::vector<std::uint8_t> buffer(1 << 20);
    for (const Target& t : targets) {
        for (int width = 1; width <= 9; ++width) {
            for (const int height : {1, 2, 5, 17}) {
                SCOPED_TRACE(std::to_string(t.format) + "/" + std::to_string(t.bits) + " " +
                             std::to_string(width) + "x" + std::to_string(height));
                ScopedBitmap source;
                ASSERT_EQ(
                    L_CreateBitmap(source.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height,
                                   t.bits == 8 ? 8 : t.bits, t.bits == 24 ? ORDER_BGR : ORDER_GRAY,
                                   nullptr, TOP_LEFT, nullptr, 0),
                    SUCCESS);
                for (std::uint64_t i = 0; i < source->Size; ++i)
                    source->Addr[i] = static_cast<std::uint8_t>(random());
                if (t.bits == 16) source->LowBit = 0, source->HighBit = 15;
                std::size_t size = 0;
                ASSERT_EQ(L_SaveBitmapBuffer(buffer.data(), buffer.size(), &size, source.get(),
                                             t.format, t.bits, 90, nullptr, nullptr, nullptr),
                          SUCCESS);
                ScopedBitmap loaded;
                ASSERT_EQ(L_LoadBitmapMemory(buffer.data(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE,
                                             0, ORDER_BGR, size, nullptr, nullptr),
                          SUCCESS);
                EXPECT_EQ(loaded->Width, width);
                EXPECT_EQ(loaded->Height, height);
                if (t.lossless && t.bits != 8) {
                    EXPECT_TRUE(SamePixels(*source, *loaded));
                }
            }
        }
    }
}

TEST(DepthConversion, FormatsRefuseDepthsTheyCannotHold) {
    ScopedBitmap source;
    MakeColor(source, 4, 4);
    const std::string path = TempPath("refused");
    EXPECT_EQ(L_SaveBitmap(path.c_str(), source.get(), FILE_JPEG, 16, 0, nullptr),
              ERROR_BITPERPIXEL);
    EXPECT_EQ(L_SaveBitmap(path.c_str(), source.get(), FILE_DICOM_COLOR, 8, 0, nullptr),
              ERROR_BITPERPIXEL);
    EXPECT_EQ(L_SaveBitmap(path.c_str(), source.get(), 9999, 0, 0, nullptr), ERROR_FILE_FORMAT);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(LossyFormats, JpegStaysCloseAndReportsSubsampling) {
    ScopedBitmap source;
    MakeColor(source, 32, 16);
    for (int format : {FILE_JPEG, FILE_JPEG_422, FILE_TIF_JPEG, FILE_TIF_JPEG_422}) {
        SCOPED_TRACE(format);
        std::vector<std::uint8_t> buffer(1 << 16);
        std::size_t size = 0;
        ASSERT_EQ(L_SaveBitmapBuffer(buffer.data(), buffer.size(), &size, source.get(), format, 24,
                                     95, nullptr, nullptr, nullptr),
                  SUCCESS);
        FILEINFO info{};
        ASSERT_EQ(L_FileInfoMemory(buffer.data(), &info, FILEINFO_STRUCT_SIZE, size, 0, nullptr),
                  SUCCESS);
        EXPECT_EQ(info.Format, format);
        ScopedBitmap loaded;
        ASSERT_EQ(L_LoadBitmapMemory(buffer.data(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0,
                                     ORDER_BGR, size, nullptr, nullptr),
                  SUCCESS);
        ASSERT_EQ(loaded->BitsPerPixel, 24);
        int worst = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 96; ++x)
                worst = std::max(worst, std::abs(source->Addr[y * source->BytesPerLine + x] -
                                                 loaded->Addr[y * loaded->BytesPerLine + x]));
        EXPECT_LT(worst, 40);
    }
}

TEST(Comments, JpegCarriesTheOriginalDateInExif) {
    const std::string date = "2026:12:08 01:05:42";
    ASSERT_EQ(
        L_SetComment(CMNT_SZDATETIMEORIGINAL, reinterpret_cast<const std::uint8_t*>(date.c_str()),
                     static_cast<unsigned>(date.size() + 1)),
        0);
    ScopedBitmap source;
    MakeColor(source, 16, 8);
    const std::string path = TempPath("exif.jpg");
    ASSERT_EQ(L_SaveBitmap(path.c_str(), source.get(), FILE_JPEG, 24, 80, nullptr), SUCCESS);
    L_SetComment(CMNT_SZDATETIMEORIGINAL, nullptr, 0);
    std::array<std::uint8_t, 32> text{};
    ASSERT_EQ(
        L_ReadFileComment(path.c_str(), CMNT_SZDATETIMEORIGINAL, text.data(), text.size(), nullptr),
        static_cast<int>(date.size() + 1));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.data())), date);
    // An APP1 segment right after the start of image, as EXIF readers expect it.
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string head(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 64));
    EXPECT_NE(head.find(std::string("Exif\0\0II*\0", 10)), std::string::npos);
    if (HaveTool("exiv2")) {
        EXPECT_NE(RunTool("exiv2 -pt " + path).find(date), std::string::npos);
    }
    // The Exif IFD pointer aimed past the segment: no date, and no read outside it.
    const std::size_t pointer = head.find(std::string("\x69\x87\x04\x00", 4));
    ASSERT_NE(pointer, std::string::npos);
    bytes[pointer + 8] = '\xF0', bytes[pointer + 9] = '\xFF';
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(L_ReadFileComment(path.c_str(), CMNT_SZDATETIMEORIGINAL, nullptr, 0, nullptr), 0);
    std::remove(path.c_str());
}

TEST(Comments, PendingTagsReachTheDicomFileAndReadBack) {
    const std::string id = "4711";
    ASSERT_EQ(L_SetComment(CMNT_SZPATIENTID, reinterpret_cast<const std::uint8_t*>(id.c_str()), 5),
              0);
    ASSERT_EQ(
        L_SetComment(CMNT_SZPATIENTNAME, reinterpret_cast<const std::uint8_t*>("Doe^Jane"), 9), 0);
    ScopedBitmap source;
    MakeGray16(source, 8, 8, 11);
    const std::string path = TempPath("tags.dcm");
    ASSERT_EQ(L_SaveBitmap(path.c_str(), source.get(), FILE_DICOM_GRAY, 0, 0, nullptr), SUCCESS);
    L_SetComment(CMNT_SZPATIENTID, nullptr, 0);
    L_SetComment(CMNT_SZPATIENTNAME, nullptr, 0);
    const int size = L_ReadFileComment(path.c_str(), CMNT_SZPATIENTID, nullptr, 0, nullptr);
    ASSERT_EQ(size, 5);
    std::array<std::uint8_t, 5> text{};
    EXPECT_EQ(L_ReadFileComment(path.c_str(), CMNT_SZPATIENTID, text.data(), 5, nullptr), 5);
    EXPECT_STREQ(reinterpret_cast<const char*>(text.data()), "4711");
    EXPECT_EQ(L_SetComment(-1, text.data(), 1), ERROR_INV_PARAMETER);
    if (HaveTool("dcmdump")) {
        const std::string dump = RunTool("dcmdump " + path);
        EXPECT_NE(dump.find("[4711]"), std::string::npos) << dump;
        EXPECT_NE(dump.find("[Doe^Jane]"), std::string::npos);
        EXPECT_NE(dump.find("=DigitalIntraOralXRayImageStorageForPresentation"), std::string::npos)
            << dump;
        EXPECT_EQ(dump.find("W: "), std::string::npos) << dump;
        EXPECT_EQ(dump.find("E: "), std::string::npos) << dump;
    }
    std::remove(path.c_str());
}

// DCMTK must decode the pixels we stored, in every DICOM transfer syntax we write.
TEST(IndependentReaders, DcmtkDecodesOurDicomPixels) {
    if (!HaveTool("dcm2pnm") || !HaveTool("dcmdump")) GTEST_SKIP() << "DCMTK not installed";
    ScopedBitmap source;
    MakeGray16(source, 16, 9, 11);
    for (int format :
         {FILE_DICOM_GRAY, FILE_DICOM_RLE_GRAY, FILE_DICOM_JPEG_GRAY, FILE_DICOM_J2K_GRAY}) {
        SCOPED_TRACE(format);
        const std::string path = TempPath("dcmtk_" + std::to_string(format) + ".dcm");
        const std::string pgm = path + ".png";
        ASSERT_EQ(L_SaveBitmap(path.c_str(), source.get(), format, 0, 0, nullptr), SUCCESS);
        const std::string dump = RunTool("dcmdump " + path);
        EXPECT_EQ(dump.find("E: "), std::string::npos) << dump;
        EXPECT_NE(dump.find("(0028,0101) US 12"), std::string::npos) << dump;
        if (format == FILE_DICOM_J2K_GRAY)
            continue;  // DCMTK's free tools carry no JPEG 2000 decoder
        const char* tool =
            format == FILE_DICOM_JPEG_GRAY && HaveTool("dcmj2pnm") ? "dcmj2pnm" : "dcm2pnm";
        RunTool(std::string(tool) + " +on2 " + path + " " + pgm);
        ScopedBitmap decoded;
        ASSERT_EQ(L_LoadFile(pgm.c_str(), decoded.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_GRAY, 0,
                             nullptr, nullptr, nullptr, nullptr),
                  SUCCESS);
        ASSERT_EQ(decoded->Width, 16);
        ASSERT_EQ(decoded->Height, 9);
        ASSERT_EQ(decoded->BitsPerPixel, 16);
        // DCMTK writes the 12 stored bits as the top bits of its 16-bit output.
        int mismatches = 0;
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 16; ++x) {
                if (Sample16(*decoded, x, y) != Sample16(*source, x, y) << 4) ++mismatches;
            }
        EXPECT_EQ(mismatches, 0);
        std::remove(path.c_str());
        std::remove(pgm.c_str());
    }
}

// DCMTK's JPEG-LS coder rewrites our files; lossless ones come back sample for sample,
// near-lossless ones within the deviation asked for.
TEST(IndependentWriters, DcmtkJpegLsFilesOfOursLoad) {
    if (!HaveTool("dcmcjpls")) GTEST_SKIP() << "DCMTK not installed";
    ScopedBitmap gray12, color;
    MakeGray16(gray12, 23, 11, 11);
    MakeColor(color, 17, 9);
    for (const auto& [source, format] :
         {std::pair{gray12.get(), FILE_DICOM_GRAY}, std::pair{color.get(), FILE_DICOM_COLOR}}) {
        SCOPED_TRACE(format);
        const std::string plain = TempPath("plain.dcm"), ls = TempPath("ls.dcm"),
                          near = TempPath("near.dcm");
        ASSERT_EQ(L_SaveBitmap(plain.c_str(), source, format, 0, 0, nullptr), SUCCESS);
        RunTool("dcmcjpls " + plain + " " + ls);
        RunTool("dcmcjpls --encode-nearlossless --max-deviation 3 " + plain + " " + near);
        ScopedBitmap lossless, nearly;
        FILEINFO info{};
        ASSERT_EQ(L_FileInfo(ls.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
        EXPECT_EQ(info.BitsPerPixel, source->BitsPerPixel);
        ASSERT_EQ(L_LoadFile(ls.c_str(), lossless.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGR, 0,
                             nullptr, nullptr, nullptr, nullptr),
                  SUCCESS);
        EXPECT_TRUE(SamePixels(*source, *lossless));
        ASSERT_EQ(L_LoadFile(near.c_str(), nearly.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGR, 0,
                             nullptr, nullptr, nullptr, nullptr),
                  SUCCESS);
        int worst = 0;
        for (int y = 0; y < source->Height; ++y)
            for (int x = 0; x < source->Width; ++x) {
                if (source->BitsPerPixel == 16) {
                    worst = std::max(worst,
                                     std::abs(Sample16(*source, x, y) - Sample16(*nearly, x, y)));
                    continue;
                }
                for (int k = 0; k < 3; ++k)
                    worst = std::max(worst,
                                     std::abs(source->Addr[y * source->BytesPerLine + 3 * x + k] -
                                              nearly->Addr[y * nearly->BytesPerLine + 3 * x + k]));
            }
        EXPECT_LE(worst, 3);
        for (const auto& path : {plain, ls, near}) std::remove(path.c_str());
    }
}

// libtiff's tools rewrite one of our files as tiles, separate planes, a single uncompressed
// strip, a palette and with other orientations; each decodes to the pixels it holds.
TEST(TiffLayouts, TilesPlanesPalettesAndOrientationsDecodeToTheirPixels) {
    for (const char* tool : {"tiffcp", "tiffset", "tiffmedian", "tiff2rgba"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " not installed";
    ScopedBitmap source;
    MakeColor(source, 37, 23);
    const std::string base = TempPath("layout.tif");
    ASSERT_EQ(L_SaveBitmap(base.c_str(), source.get(), FILE_TIFLZW, 24, 0, nullptr), SUCCESS);
    const auto load = [](const std::string& path, ScopedBitmap& bitmap) {
        return L_LoadFile(path.c_str(), bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGR, 0,
                          nullptr, nullptr, nullptr, nullptr);
    };
    const auto rewrite = [&](const std::string& name, const std::string& command) {
        const std::string path = TempPath(name);
        RunTool(command + " " + base + " " + path);
        return path;
    };
    std::vector<std::string> made;
    for (const char* options :
         {"-t -w 16 -l 16", "-p separate", "-c none -r 1000", "-c zip -r 3"}) {
        SCOPED_TRACE(options);
        const std::string path = rewrite("layout_copy.tif", std::string("tiffcp ") + options);
        made.push_back(path);
        ScopedBitmap loaded;
        ASSERT_EQ(load(path, loaded), SUCCESS);
        EXPECT_TRUE(SamePixels(*source, *loaded));
    }
    // Orientation 4 puts the first row at the bottom, 2 the first column at the right; striped
    // files take the scanline path, tiled ones the RGBA one.
    for (const char* copy : {"tiffcp", "tiffcp -t -w 16 -l 16"}) {
        for (const int orientation : {4, 2}) {
            SCOPED_TRACE(std::string(copy) + " orientation " + std::to_string(orientation));
            const std::string path = rewrite("layout_oriented.tif", copy);
            made.push_back(path);
            RunTool("tiffset -s 274 " + std::to_string(orientation) + " " + path);
            ScopedBitmap loaded;
            ASSERT_EQ(load(path, loaded), SUCCESS);
            int mismatches = 0;
            for (int y = 0; y < source->Height; ++y)
                for (int x = 0; x < source->Width; ++x) {
                    const int fy = orientation == 4 ? source->Height - 1 - y : y;
                    const int fx = orientation == 2 ? source->Width - 1 - x : x;
                    if (std::memcmp(loaded->Addr + y * loaded->BytesPerLine + 3 * x,
                                    source->Addr + fy * source->BytesPerLine + 3 * fx, 3) != 0)
                        ++mismatches;
                }
            EXPECT_EQ(mismatches, 0);
        }
    }
    // A palette image, against libtiff's own whole-image RGBA rendering of it.
    const std::string palette = rewrite("layout_palette.tif", "tiffmedian");
    const std::string rgba = TempPath("layout_rgba.tif");
    RunTool("tiff2rgba -c none " + palette + " " + rgba);
    made.insert(made.end(), {palette, rgba});
    ScopedBitmap fromPalette, fromRgba;
    ASSERT_EQ(load(palette, fromPalette), SUCCESS);
    ASSERT_EQ(load(rgba, fromRgba), SUCCESS);
    EXPECT_EQ(fromPalette->BitsPerPixel, 24);
    EXPECT_TRUE(SamePixels(*fromPalette, *fromRgba));

    // 16-bit grey keeps its depth when stored bottom-up.
    ScopedBitmap gray;
    MakeGray16(gray, 9, 5, 15);
    const std::string deep = TempPath("layout_deep.tif");
    ASSERT_EQ(L_SaveBitmap(deep.c_str(), gray.get(), FILE_TIFLZW, 16, 0, nullptr), SUCCESS);
    RunTool("tiffset -s 274 4 " + deep);
    made.push_back(deep);
    ScopedBitmap loaded;
    ASSERT_EQ(load(deep, loaded), SUCCESS);
    ASSERT_EQ(loaded->BitsPerPixel, 16);
    EXPECT_EQ(Sample16(*loaded, 3, 0), Sample16(*gray, 3, 4));
    EXPECT_EQ(Sample16(*loaded, 8, 4), Sample16(*gray, 8, 0));
    for (const auto& path : made) std::remove(path.c_str());
    std::remove(base.c_str());
}

// dciodvfy checks our files against their IOD. The Intra-oral Image module asks for anatomy the
// control is never given (the patient orientation, the teeth and region modifiers); nothing else
// may be reported.
TEST(IndependentReaders, DciodvfyFindsOnlyTheAnatomyWeAreNotGiven) {
    if (!HaveTool("dciodvfy")) GTEST_SKIP() << "dicom3tools not installed";
    ScopedBitmap gray, color;
    MakeGray16(gray, 16, 9, 11);
    MakeColor(color, 16, 9);
    const std::array<const char*, 3> unknowable = {"<PatientOrientation>",
                                                   "<AnatomicRegionModifierSequence>",
                                                   "<PrimaryAnatomicStructureSequence>"};
    for (const auto& [bitmap, formats] :
         {std::pair{gray.get(), std::vector<int>{FILE_DICOM_GRAY, FILE_DICOM_RLE_GRAY,
                                                 FILE_DICOM_JPEG_GRAY, FILE_DICOM_J2K_GRAY}},
          std::pair{color.get(), std::vector<int>{FILE_DICOM_COLOR, FILE_DICOM_RLE_COLOR,
                                                  FILE_DICOM_JPEG_COLOR, FILE_DICOM_J2K_COLOR}}}) {
        for (const int format : formats) {
            for (const int bits : {0, 8}) {
                if (bits == 8 && bitmap == color.get()) continue;
                SCOPED_TRACE(std::to_string(format) + " at " + std::to_string(bits));
                const std::string path = TempPath("iod.dcm");
                ASSERT_EQ(L_SaveBitmap(path.c_str(), bitmap, format, bits, 0, nullptr), SUCCESS);
                const std::string report = RunTool("dciodvfy " + path);
                std::istringstream lines(report);
                std::string line;
                while (std::getline(lines, line)) {
                    if (line.rfind("Error", 0) != 0) continue;
                    const bool known =
                        line.find("Type 1C") != std::string::npos &&
                        std::any_of(unknowable.begin(), unknowable.end(), [&](const char* name) {
                            return line.find(name) != std::string::npos;
                        });
                    EXPECT_TRUE(known) << line;
                }
                std::remove(path.c_str());
            }
        }
    }
}

TEST(IndependentReaders, TiffinfoAndDjpegAcceptOurFiles) {
    ScopedBitmap source;
    MakeColor(source, 20, 10);
    const std::string tif = TempPath("reader.tif"), jpg = TempPath("reader.jpg");
    ASSERT_EQ(L_SaveBitmap(tif.c_str(), source.get(), FILE_TIFLZW, 24, 0, nullptr), SUCCESS);
    ASSERT_EQ(L_SaveBitmap(jpg.c_str(), source.get(), FILE_JPEG, 24, 90, nullptr), SUCCESS);
    if (HaveTool("tiffinfo")) {
        const std::string info = RunTool("tiffinfo " + tif);
        EXPECT_NE(info.find("Image Width: 20 Image Length: 10"), std::string::npos) << info;
        EXPECT_NE(info.find("LZW"), std::string::npos) << info;
    }
    if (HaveTool("djpeg")) {
        const std::string header = RunTool("djpeg -pnm " + jpg + " | head -c 12");
        EXPECT_EQ(header.rfind("P6\n20 10", 0), 0u) << header;
    }
    std::remove(tif.c_str());
    std::remove(jpg.c_str());
}
