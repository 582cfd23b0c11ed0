// DICOM files as the field sends them, written by independent tools: a deflated data set
// (DCMTK's dcmconv) and a multi-frame image (pydicom). Each loads with the pixels it holds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/File.h"
#include "engine/Kernel.h"
#include "tests/common/ExternalTools.h"
#include "tests/common/TestFiles.h"

using namespace filefmt;

namespace {

std::string TempPath(const std::string& name) { return testsupport::TempPath("dcmfield", name); }

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Load(const std::string& path, ScopedBitmap& bitmap) {
    return L_LoadFile(path.c_str(), bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_GRAY, 0,
                      nullptr, nullptr, nullptr, nullptr);
}

int LoadMemory(const std::vector<std::uint8_t>& data, ScopedBitmap& bitmap) {
    return L_LoadBitmapMemory(data.data(), bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_GRAY,
                              data.size(), nullptr, nullptr);
}

// Sample (x, y) of a 16-bit grey bitmap.
unsigned Sample(const BITMAPHANDLE& b, int x, int y) {
    return reinterpret_cast<const std::uint16_t*>(b.Addr + y * b.BytesPerLine)[x];
}

TEST(DicomFieldFiles, DeflatedDataSetLoadsAsItsPixelsAndCutStreamsFail) {
    if (!testsupport::HaveTool("dcmconv")) GTEST_SKIP() << "DCMTK not installed";
    ScopedBitmap source;
    ASSERT_EQ(L_CreateBitmap(source.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 33, 21, 16,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 33; ++x)
            reinterpret_cast<std::uint16_t*>(source->Addr + y * source->BytesPerLine)[x] =
                static_cast<std::uint16_t>((x * 97 + y * 31) & 0xFFF);
    source->HighBit = 11;
    const std::string plain = TempPath("plain.dcm"), deflated = TempPath("deflated.dcm");
    ASSERT_EQ(L_SaveBitmap(plain.c_str(), source.get(), FILE_DICOM_GRAY, 0, 0, nullptr), SUCCESS);
    ASSERT_EQ(std::system(("dcmconv +td " + plain + " " + deflated + " >/dev/null 2>&1").c_str()),
              0);
    const std::vector<std::uint8_t> file = ReadAll(deflated);
    ASSERT_NE(std::string(file.begin(), file.end()).find("1.2.840.10008.1.2.1.99"),
              std::string::npos);

    FILEINFO info{};
    ASSERT_EQ(L_FileInfo(deflated.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
    EXPECT_EQ(info.Width, 33);
    EXPECT_EQ(info.Height, 21);
    EXPECT_EQ(info.BitsPerPixel, 16);
    ScopedBitmap loaded;
    ASSERT_EQ(Load(deflated, loaded), SUCCESS);
    ASSERT_EQ(loaded->Width, 33);
    ASSERT_EQ(loaded->Height, 21);
    EXPECT_EQ(loaded->HighBit, 11);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 33; ++x)
            ASSERT_EQ(Sample(*loaded, x, y), Sample(*source, x, y)) << x << "," << y;

    // Cut inside the deflated data set (raw deflate has no checksum, so a cut is what can be
    // told): refused, the image kept.
    ScopedBitmap kept;
    ASSERT_EQ(L_CreateBitmap(kept.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 3, 3, 16, ORDER_GRAY,
                             nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    const std::vector<std::uint8_t> cut(file.begin(), file.end() - 40);
    EXPECT_EQ(LoadMemory(cut, kept), ERROR_FILE_CORRUPT);
    EXPECT_EQ(kept->Width, 3);
    std::filesystem::remove(plain);
    std::filesystem::remove(deflated);
}

// Three frames of 16-bit grey: the file describes three pages and loads its first frame.
TEST(DicomFieldFiles, MultiFrameImageLoadsItsFirstFrameAndCountsThePages) {
    const std::string path = TempPath("frames.dcm");
    const std::string script =
        "import sys, numpy as np\n"
        "from pydicom.dataset import FileDataset, FileMetaDataset\n"
        "from pydicom.uid import ExplicitVRLittleEndian, generate_uid\n"
        "meta = FileMetaDataset()\n"
        "meta.MediaStorageSOPClassUID = '1.2.840.10008.5.1.4.1.1.7.3'\n"
        "meta.MediaStorageSOPInstanceUID = generate_uid()\n"
        "meta.TransferSyntaxUID = ExplicitVRLittleEndian\n"
        "ds = FileDataset(sys.argv[1], {}, file_meta=meta, preamble=b'\\0' * 128)\n"
        "ds.SOPClassUID = meta.MediaStorageSOPClassUID\n"
        "ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID\n"
        "ds.Modality = 'OT'\n"
        "ds.SamplesPerPixel = 1\n"
        "ds.PhotometricInterpretation = 'MONOCHROME2'\n"
        "ds.Rows, ds.Columns, ds.NumberOfFrames = 5, 7, 3\n"
        "ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 16, 16, 15, 0\n"
        "ds.PixelData = ((np.arange(105) * 611) % 65536).astype('<u2').tobytes()\n"
        "ds.is_little_endian, ds.is_implicit_VR = True, False\n"
        "ds.save_as(sys.argv[1], write_like_original=False)\n";
    const std::string scriptPath = TempPath("frames.py");
    std::ofstream(scriptPath) << script;
    if (std::system(("/usr/bin/python3 " + scriptPath + " " + path + " >/dev/null 2>&1").c_str()) !=
        0)
        GTEST_SKIP() << "pydicom with numpy not available";
    FILEINFO info{};
    ASSERT_EQ(L_FileInfo(path.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
    EXPECT_EQ(info.TotalPages, 3);
    ScopedBitmap loaded;
    ASSERT_EQ(Load(path, loaded), SUCCESS);
    ASSERT_EQ(loaded->Width, 7);
    ASSERT_EQ(loaded->Height, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(Sample(*loaded, x, y), ((y * 7 + x) * 611u) % 65536u);
    std::filesystem::remove(path);
    std::filesystem::remove(scriptPath);
}

// PALETTE COLOR (ultrasound): indices through 8 or 16-bit palettes to 24-bit colour, as pydicom's
// palette lookup gives them; a segmented palette is refused with its own code.
TEST(DicomFieldFiles, PaletteColourBecomesTwentyFourBitColour) {
    const std::string folder = TempPath("palettes");
    std::filesystem::create_directories(folder);
    const std::string writer = std::string(AXLUMORA_TEST_DATA_DIR) + "/palette_writer.py";
    if (std::system(("/usr/bin/python3 " + writer + " " + folder + " >/dev/null 2>&1").c_str()) !=
        0)
        GTEST_SKIP() << "pydicom with numpy not available";
    for (const char* name : {"p8.dcm", "p8w16.dcm", "p16.dcm"}) {
        SCOPED_TRACE(name);
        const std::string path = folder + "/" + name;
        FILEINFO info{};
        ASSERT_EQ(L_FileInfo(path.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
        EXPECT_EQ(info.BitsPerPixel, 24);
        ScopedBitmap loaded;
        ASSERT_EQ(L_LoadFile(path.c_str(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_RGB, 0,
                             nullptr, nullptr, nullptr, nullptr),
                  SUCCESS);
        ASSERT_EQ(loaded->BitsPerPixel, 24);
        ASSERT_EQ(loaded->Width, 9);
        ASSERT_EQ(loaded->Height, 6);
        const std::vector<std::uint8_t> expected = ReadAll(path + ".rgb");
        ASSERT_EQ(expected.size(), 9u * 6 * 3);
        for (int y = 0; y < 6; ++y)
            EXPECT_TRUE(std::equal(expected.begin() + y * 27, expected.begin() + (y + 1) * 27,
                                   loaded->Addr + y * loaded->BytesPerLine))
                << "row " << y;
    }
    ScopedBitmap kept;
    ASSERT_EQ(L_CreateBitmap(kept.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 3, 3, 24, ORDER_BGR,
                             nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    EXPECT_EQ(L_LoadFile((folder + "/seg.dcm").c_str(), kept.get(), BITMAPHANDLE_STRUCT_SIZE, 0,
                         ORDER_BGR, 0, nullptr, nullptr, nullptr, nullptr),
              ERROR_FEATURE_NOT_SUPPORTED);
    EXPECT_EQ(kept->Width, 3);
    std::filesystem::remove_all(folder);
}

// The field files pydicom writes (tests/data/field_writer.py) into a fresh folder; the JP2 file,
// when given, becomes the one fragment of a JPEG 2000 DICOM.
std::string WriteFieldFiles(const std::string& jp2 = "") {
    const std::string folder = TempPath("field");
    std::filesystem::create_directories(folder);
    const std::string writer = std::string(AXLUMORA_TEST_DATA_DIR) + "/field_writer.py";
    if (std::system(("/usr/bin/python3 " + writer + " " + folder + " " + jp2 + " >/dev/null 2>&1")
                        .c_str()) != 0)
        return "";
    return folder;
}

template <typename T>
std::vector<T> ReadValues(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadAll(path);
    std::vector<T> values(bytes.size() / sizeof(T));
    std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
    return values;
}

// Signed 16-bit CT with Rescale Slope/Intercept: each bitmap sample through the recorded rescale
// gives the Hounsfield value pydicom reads, and the file's window paints through the same values.
TEST(DicomFieldFiles, SignedComputedTomographyKeepsItsRescale) {
    const std::string folder = WriteFieldFiles();
    if (folder.empty()) GTEST_SKIP() << "pydicom with numpy not available";
    const std::string path = folder + "/ct.dcm";
    const std::vector<std::int16_t> stored = ReadValues<std::int16_t>(path + ".raw");
    ASSERT_EQ(stored.size(), 54u);
    double slope = 0, intercept = 0, centre = 0, width = 0;
    std::ifstream(path + ".txt") >> slope >> intercept >> centre >> width;
    ASSERT_EQ(slope, 0.5);

    FILEINFO info{};
    ASSERT_EQ(L_FileInfo(path.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
    EXPECT_EQ(info.BitsPerPixel, 16);
    ScopedBitmap loaded;
    ASSERT_EQ(Load(path, loaded), SUCCESS);
    ASSERT_EQ(loaded->Width, 9);
    ASSERT_EQ(loaded->Height, 6);
    ASSERT_TRUE(loaded->Flags & BITMAP_FLAG_FILE_WINDOW);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) {
            const double hounsfield = stored[y * 9 + x] * slope + intercept;
            const unsigned sample = Sample(*loaded, x, y);
            EXPECT_EQ(sample * info.RescaleSlope + info.RescaleIntercept, hounsfield)
                << x << "," << y;
            // Linear window (PS3.3 C.11.2.1.2.1) of the Hounsfield value, as painted.
            double level = (hounsfield - (centre - 0.5)) / (width - 1) + 0.5;
            level = hounsfield <= centre - 0.5 - (width - 1) / 2  ? 0
                    : hounsfield > centre - 0.5 + (width - 1) / 2 ? 1
                                                                  : level;
            EXPECT_EQ(loaded->pLUT[sample].rgbRed, std::lround(level * 255)) << x << "," << y;
        }
    std::filesystem::remove_all(folder);
}

// 32-bit grey narrowed to 16 bits: order and range kept, the recorded rescale taking each sample
// back to (within one narrowing step of) its stored value, and the file's window painting the
// same grey it gives the stored values.
TEST(DicomFieldFiles, ThirtyTwoBitGreyIsNarrowedWithItsWindow) {
    const std::string folder = WriteFieldFiles();
    if (folder.empty()) GTEST_SKIP() << "pydicom with numpy not available";
    const std::string path = folder + "/grey32.dcm";
    const std::vector<std::uint32_t> stored = ReadValues<std::uint32_t>(path + ".raw");
    ASSERT_EQ(stored.size(), 54u);
    FILEINFO info{};
    ASSERT_EQ(L_FileInfo(path.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
    EXPECT_EQ(info.BitsPerPixel, 16);
    EXPECT_EQ(info.RescaleSlope, 65536.0);  // the full 32-bit range: 16 bits shifted out
    ScopedBitmap loaded;
    ASSERT_EQ(Load(path, loaded), SUCCESS);
    ASSERT_EQ(loaded->BitsPerPixel, 16);
    EXPECT_EQ(loaded->HighBit, 15);
    ASSERT_TRUE(loaded->Flags & BITMAP_FLAG_FILE_WINDOW);
    const double centre = 2147483648.0, width = 1073741824.0;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) {
            const unsigned sample = Sample(*loaded, x, y);
            const double value = stored[y * 9 + x];
            const double back = sample * info.RescaleSlope + info.RescaleIntercept;
            EXPECT_LE(back, value) << x << "," << y;
            EXPECT_GT(back + info.RescaleSlope, value) << x << "," << y;
            double level = (back - (centre - 0.5)) / (width - 1) + 0.5;
            level = back <= centre - 0.5 - (width - 1) / 2  ? 0
                    : back > centre - 0.5 + (width - 1) / 2 ? 1
                                                            : level;
            EXPECT_EQ(loaded->pLUT[sample].rgbRed, std::lround(level * 255)) << x << "," << y;
        }
    EXPECT_EQ(Sample(*loaded, 0, 0), 0u);
    EXPECT_EQ(Sample(*loaded, 1, 0), 0xFFFFu);
    std::filesystem::remove_all(folder);
}

// A JPEG 2000 frame stored as a whole JP2 file (OpenJPEG's opj_compress, wrapped by pydicom):
// loaded as its codestream with the 12-bit samples written; a JP2 file cut inside its codestream
// box is refused and the image kept.
TEST(DicomFieldFiles, JpegTwoThousandFrameInAJp2FileIsUnwrapped) {
    if (!testsupport::HaveTool("opj_compress")) GTEST_SKIP() << "opj_compress not installed";
    const std::string scratch = TempPath("jp2");
    std::filesystem::create_directories(scratch);
    std::vector<std::uint16_t> values(54);
    std::string pgm = "P5\n9 6\n4095\n";
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<std::uint16_t>(i * 173 % 4096);
        pgm += static_cast<char>(values[i] >> 8);
        pgm += static_cast<char>(values[i] & 0xFF);
    }
    std::ofstream(scratch + "/frame.pgm", std::ios::binary) << pgm;
    ASSERT_EQ(std::system(("opj_compress -n 2 -i " + scratch + "/frame.pgm -o " + scratch +
                           "/frame.jp2 >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string folder = WriteFieldFiles(scratch + "/frame.jp2");
    if (folder.empty()) GTEST_SKIP() << "pydicom with numpy not available";
    const std::string path = folder + "/jp2.dcm";
    const std::vector<std::uint8_t> file = ReadAll(path);
    ASSERT_NE(std::string(file.begin(), file.end()).find("jp2c"), std::string::npos);

    FILEINFO info{};
    ASSERT_EQ(L_FileInfo(path.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
    EXPECT_EQ(info.Format, FILE_DICOM_J2K_GRAY);
    ScopedBitmap loaded;
    ASSERT_EQ(Load(path, loaded), SUCCESS);
    ASSERT_EQ(loaded->Width, 9);
    ASSERT_EQ(loaded->Height, 6);
    EXPECT_EQ(loaded->HighBit, 11);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(Sample(*loaded, x, y), values[y * 9 + x]) << x << "," << y;

    // The codestream box claims more bytes than the fragment holds.
    std::vector<std::uint8_t> cut = file;
    const std::string text(cut.begin(), cut.end());
    const std::size_t box = text.find("jp2c") - 4;
    cut[box] = 0x7F;
    EXPECT_LT(LoadMemory(cut, loaded), 0);
    EXPECT_EQ(loaded->Width, 9);
    EXPECT_EQ(Sample(*loaded, 1, 0), values[1]);
    std::filesystem::remove_all(folder);
    std::filesystem::remove_all(scratch);
}

// GDCM's converter writes 12-bit samples in 16-bit words as JPEG Extended frames of precision 16
// (which DCMTK and pydicom refuse); GDCM's own tools read them back, and so do we, with the samples
// its raw dump gives.
TEST(DicomFieldFiles, ExtendedJpegOfGdcmsConverterLoads) {
    if (!testsupport::HaveTool("gdcmconv") || !testsupport::HaveTool("gdcmraw"))
        GTEST_SKIP() << "GDCM's tools not installed";
    const std::string folder = WriteFieldFiles();
    if (folder.empty()) GTEST_SKIP() << "pydicom with numpy not available";
    const std::string source = folder + "/grey12.dcm", path = folder + "/jpeg12.dcm",
                      raw = folder + "/jpeg12.raw";
    ASSERT_EQ(
        std::system(("gdcmconv --jpeg --lossy " + source + " " + path + " >/dev/null 2>&1 && " +
                     "gdcmraw -P -i " + path + " -o " + raw + " >/dev/null 2>&1")
                        .c_str()),
        0);
    const std::vector<std::uint8_t> file = ReadAll(path);
    ASSERT_NE(std::string(file.begin(), file.end()).find("1.2.840.10008.1.2.4.51"),
              std::string::npos);
    const std::vector<std::uint16_t> gdcm = ReadValues<std::uint16_t>(raw);
    const std::vector<std::uint16_t> written = ReadValues<std::uint16_t>(source + ".raw");
    ASSERT_EQ(gdcm.size(), 768u);
    ASSERT_EQ(written.size(), 768u);
    FILEINFO info{};
    ASSERT_EQ(L_FileInfo(path.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
    EXPECT_EQ(info.Format, FILE_DICOM_JPEG_GRAY);
    ScopedBitmap loaded;
    ASSERT_EQ(Load(path, loaded), SUCCESS);
    ASSERT_EQ(loaded->Width, 32);
    ASSERT_EQ(loaded->Height, 24);
    EXPECT_EQ(loaded->HighBit, 11);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(Sample(*loaded, x, y), gdcm[y * 32 + x]) << x << "," << y;
            ASSERT_LE(std::abs(static_cast<int>(Sample(*loaded, x, y)) - written[y * 32 + x]), 16)
                << x << "," << y;
        }
    std::filesystem::remove_all(folder);
}

}  // namespace
