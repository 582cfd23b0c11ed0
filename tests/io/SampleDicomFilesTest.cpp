// DICOM files that other toolkits wrote, as Debian packages ship them: each loads or is refused
// with a status, what loads has the size and depth its description gave, and its pixels agree
// with DCMTK's decoder and with the same image stored in the other transfer syntaxes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine/File.h"
#include "engine/Kernel.h"
#include "tests/common/ExternalTools.h"
#include "tests/common/TestFiles.h"

using namespace filefmt;
namespace fs = std::filesystem;

namespace {

const char* const kSampleRoots[] = {"/usr/lib/python3/dist-packages/pydicom/data",
                                    "/usr/share/dcmtk", "/usr/share/gdcm", "/usr/share/doc/dcmtk",
                                    "/usr/share/gdcm-data"};
const char* const kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files";

bool IsPart10(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) < 132) return false;
    std::ifstream in(path, std::ios::binary);
    char head[132] = {};
    in.read(head, sizeof head);
    return std::memcmp(head + 128, "DICM", 4) == 0;
}

std::vector<fs::path> InstalledSamples() {
    std::vector<fs::path> files;
    for (const char* root : kSampleRoots) {
        std::error_code ec;
        if (!fs::is_directory(root, ec)) continue;
        for (auto it = fs::recursive_directory_iterator(root, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (IsPart10(it->path())) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

using testsupport::HaveTool;

int Load(const fs::path& path, ScopedBitmap& bitmap) {
    return L_LoadFile(path.c_str(), bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGR, 0,
                      nullptr, nullptr, nullptr, nullptr);
}

// DCMTK's rendering of the first frame, without a rescale or a window, as a PNG of 8 or 16 bits
// a sample.
bool DecodeWithDcmtk(const fs::path& dicom, bool sixteenBits, ScopedBitmap& decoded) {
    const fs::path png = testsupport::TempPath("sample", "dcmtk.png");
    fs::remove(png);
    const std::string command = std::string("dcmj2pnm ") + (sixteenBits ? "+on2 " : "+on ") +
                                "--no-modality " + "'" + dicom.string() + "' '" + png.string() +
                                "' >/dev/null 2>&1";
    const bool written = std::system(command.c_str()) == 0 && fs::exists(png);
    const bool loaded = written && Load(png, decoded) == SUCCESS;
    fs::remove(png);
    return loaded;
}

struct Difference {
    int largest = 0;
    double mean = 0;
};

// Sample by sample; grey samples are compared as DCMTK scales them, stored bits at the top.
Difference Compare(const BITMAPHANDLE& ours, const BITMAPHANDLE& dcmtk) {
    Difference d;
    long long total = 0, count = 0;
    const int shift = ours.BitsPerPixel == 16 ? 15 - ours.HighBit : 0;
    for (int y = 0; y < ours.Height; ++y) {
        const std::uint8_t* a = ours.Addr + y * ours.BytesPerLine;
        const std::uint8_t* b = dcmtk.Addr + y * dcmtk.BytesPerLine;
        const int samples =
            ours.BitsPerPixel == 16 ? ours.Width : ours.Width * ours.BitsPerPixel / 8;
        for (int x = 0; x < samples; ++x) {
            const int ourSample = ours.BitsPerPixel == 16
                                      ? reinterpret_cast<const std::uint16_t*>(a)[x] << shift
                                      : a[x];
            const int theirs =
                ours.BitsPerPixel == 16 ? reinterpret_cast<const std::uint16_t*>(b)[x] : b[x];
            const int delta = std::abs(ourSample - theirs);
            d.largest = std::max(d.largest, delta);
            total += delta, ++count;
        }
    }
    d.mean = count ? static_cast<double>(total) / count : 0;
    return d;
}

// 32-bit samples: DCMTK narrows the whole 32-bit range to 16 bits, we narrow the range the image
// uses; our samples taken back to stored values through the recorded rescale (these files carry
// no modality rescale) land on DCMTK's within one of its steps.
int LargestWideDifference(const BITMAPHANDLE& ours, const BITMAPHANDLE& dcmtk,
                          const FILEINFO& info) {
    int largest = 0;
    for (int y = 0; y < ours.Height; ++y)
        for (int x = 0; x < ours.Width; ++x) {
            const int sample =
                reinterpret_cast<const std::uint16_t*>(ours.Addr + y * ours.BytesPerLine)[x];
            const double stored = sample * info.RescaleSlope + info.RescaleIntercept;
            const int theirs =
                reinterpret_cast<const std::uint16_t*>(dcmtk.Addr + y * dcmtk.BytesPerLine)[x];
            largest = std::max(
                largest,
                static_cast<int>(std::lround(std::abs(stored * 65535.0 / 4294967295.0 - theirs))));
        }
    return largest;
}

bool WideSamples(const fs::path& file) {
    return testsupport::RunTool("dcmdump +P 0028,0100 '" + file.string() + "'").find("US 32") !=
           std::string::npos;
}

bool Identical(const BITMAPHANDLE& a, const BITMAPHANDLE& b) {
    if (a.Width != b.Width || a.Height != b.Height || a.BitsPerPixel != b.BitsPerPixel)
        return false;
    const std::size_t rowBytes = static_cast<std::size_t>(a.Width) * a.BitsPerPixel / 8;
    for (int y = 0; y < a.Height; ++y)
        if (std::memcmp(a.Addr + y * a.BytesPerLine, b.Addr + y * b.BytesPerLine, rowBytes) != 0)
            return false;
    return true;
}

}  // namespace

TEST(SampleDicomFiles, LoadWithTheirDescribedSizeOrFailCleanly) {
    const auto files = InstalledSamples();
    if (files.empty()) GTEST_SKIP() << "no sample DICOM files installed";
    int loaded = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        FILEINFO info{};
        const int described = L_FileInfo(file.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr);
        ScopedBitmap bitmap;
        const int status = Load(file, bitmap);
        if (status != SUCCESS) {
            EXPECT_LT(status, 0);
            EXPECT_EQ(bitmap->Addr, nullptr);
            continue;
        }
        ++loaded;
        ASSERT_EQ(described, SUCCESS);
        EXPECT_EQ(bitmap->Width, info.Width);
        EXPECT_EQ(bitmap->Height, info.Height);
        EXPECT_EQ(bitmap->BitsPerPixel, info.BitsPerPixel);
    }
    EXPECT_GT(loaded, 0);
    RecordProperty("loaded", loaded);
}

// Every sample DCMTK can render as well. DCMTK stretches stored bits to 16 and rounds its own
// inversion of MONOCHROME1 and its own YCbCr conversion, so lossless files agree within one
// stored step; lossy ones (two IJG-lineage JPEG decoders) within rounding.
TEST(SampleDicomFiles, PixelsAgreeWithDcmtk) {
    if (!HaveTool("dcmj2pnm")) GTEST_SKIP() << "DCMTK not installed";
    const auto files = InstalledSamples();
    if (files.empty()) GTEST_SKIP() << "no sample DICOM files installed";
    int compared = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        ScopedBitmap ours;
        if (Load(file, ours) != SUCCESS) continue;
        ScopedBitmap theirs;
        if (!DecodeWithDcmtk(file, ours->BitsPerPixel == 16, theirs)) continue;
        ++compared;
        ASSERT_EQ(theirs->Width, ours->Width);
        ASSERT_EQ(theirs->Height, ours->Height);
        ASSERT_EQ(theirs->BitsPerPixel, ours->BitsPerPixel);
        FILEINFO info{};
        ASSERT_EQ(L_FileInfo(file.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
        if (ours->BitsPerPixel == 16 && WideSamples(file)) {
            EXPECT_LE(LargestWideDifference(*ours, *theirs, info), 1);
            continue;
        }
        const bool lossy =
            info.Format == FILE_DICOM_JPEG_GRAY || info.Format == FILE_DICOM_JPEG_COLOR;
        const int step = ours->BitsPerPixel == 16 ? 1 << (15 - ours->HighBit) : 1;
        const Difference d = Compare(*ours, *theirs);
        EXPECT_LE(d.largest, lossy ? 16 * step : step);
        EXPECT_LE(d.mean, step);
    }
    EXPECT_GT(compared, 0);
    RecordProperty("compared", compared);
}

// The same image in several transfer syntaxes decodes to the same samples.
TEST(SampleDicomFiles, EveryLosslessEncodingOfAnImageDecodesAlike) {
    const std::map<std::string, std::vector<std::string>> families = {
        {"MR_small.dcm",
         {"MR_small_RLE.dcm", "MR_small_bigendian.dcm", "MR_small_expb.dcm",
          "MR_small_implicit.dcm", "MR_small_jp2klossless.dcm", "MR_small_jpeg_ls_lossless.dcm",
          "MR_small_padded.dcm"}},
        {"SC_rgb_rle.dcm", {"SC_rgb_rle_2frame.dcm", "SC_rgb_jpeg_gdcm.dcm", "SC_rgb_gdcm_KY.dcm"}},
        {"JPEG2000.dcm", {}},
    };
    if (!fs::is_directory(kPydicomFiles)) GTEST_SKIP() << "pydicom's sample files not installed";
    for (const auto& [reference, others] : families) {
        ScopedBitmap expected;
        ASSERT_EQ(Load(fs::path(kPydicomFiles) / reference, expected), SUCCESS) << reference;
        for (const auto& other : others) {
            SCOPED_TRACE(other);
            ScopedBitmap decoded;
            ASSERT_EQ(Load(fs::path(kPydicomFiles) / other, decoded), SUCCESS);
            EXPECT_TRUE(Identical(*expected, *decoded));
        }
    }
}
