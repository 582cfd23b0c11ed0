// Uncompressed DICOM pixel data is appended by the encoder after GDCM wrote the rest of the file:
// it must still be the Pixel Data element's whole value, padded as the standard pads it, and the
// file one that other toolkits read.
#include <gdcmImageReader.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
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

std::string TempPath(const std::string& name) { return testsupport::TempPath("dcmwriter", name); }

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each case has an odd or even number of sample bytes; the samples are the bitmap's rows.
TEST(DicomWriter, UncompressedSamplesAreTheWholePaddedPixelData) {
    struct Case {
        int bits, width, height, format;
    };
    for (const Case c : {Case{8, 5, 3, FILE_DICOM_GRAY}, Case{8, 6, 3, FILE_DICOM_GRAY},
                         Case{16, 7, 5, FILE_DICOM_GRAY}, Case{24, 3, 3, FILE_DICOM_COLOR}}) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.width) + "x" +
                     std::to_string(c.height));
        ScopedBitmap bitmap;
        ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, c.width,
                                 c.height, c.bits, c.bits == 24 ? ORDER_RGB : ORDER_GRAY, nullptr,
                                 TOP_LEFT, nullptr, 0),
                  SUCCESS);
        std::vector<std::uint8_t> samples;
        const int rowBytes = c.width * c.bits / 8;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < rowBytes; ++x) {
                bitmap->Addr[y * bitmap->BytesPerLine + x] =
                    static_cast<std::uint8_t>(37 * y + 11 * x + 1);
                samples.push_back(bitmap->Addr[y * bitmap->BytesPerLine + x]);
            }
        if (c.bits == 16) bitmap->HighBit = 15;
        const std::string path =
            TempPath(std::to_string(c.bits) + "-" + std::to_string(c.width) + ".dcm");
        ASSERT_EQ(L_SaveBitmap(path.c_str(), bitmap.get(), c.format, 0, 0, nullptr), SUCCESS);

        const std::vector<std::uint8_t> file = ReadAll(path);
        const std::size_t padded = samples.size() + samples.size() % 2;
        ASSERT_GT(file.size(), padded + 12);
        // The last element: Pixel Data, explicit VR, the padded length, then the samples.
        const std::uint8_t* header = file.data() + file.size() - padded - 12;
        EXPECT_EQ(std::vector<std::uint8_t>(header, header + 6),
                  (std::vector<std::uint8_t>{0xE0, 0x7F, 0x10, 0x00, 'O',
                                             static_cast<std::uint8_t>(c.bits == 16 ? 'W' : 'B')}));
        EXPECT_EQ(header[8] | header[9] << 8 | header[10] << 16 | header[11] << 24,
                  static_cast<int>(padded));
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), header + 12));
        if (padded != samples.size()) {
            EXPECT_EQ(file.back(), 0);
        }

        gdcm::ImageReader reader;
        reader.SetFileName(path.c_str());
        ASSERT_TRUE(reader.Read());
        std::vector<char> decoded(reader.GetImage().GetBufferLength());
        ASSERT_GE(decoded.size(), samples.size());
        ASSERT_TRUE(reader.GetImage().GetBuffer(decoded.data()));
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(),
                               reinterpret_cast<std::uint8_t*>(decoded.data())));
        if (testsupport::HaveTool("dcmdump")) {
            EXPECT_EQ(testsupport::RunTool("dcmdump " + path).find("E: "), std::string::npos);
        }
        std::filesystem::remove(path);
    }
}

}  // namespace
