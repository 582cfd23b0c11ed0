// SaveArray of images so small that their files outgrow two bytes a pixel (headers, palettes,
// DICOM meta information): the buffer grows to the file, which comes back whole and loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/File.h"
#include "engine/Kernel.h"
#include "tests/control/ControlFixture.h"

namespace {

constexpr std::uint8_t kGrey = 100;

void CreateFlatImage(const ComPtr<IaxLumora>& c, int width, int height) {
    LONG value = -1;
    ASSERT_EQ(c->CreateBitmap(static_cast<FLOAT>(width), static_cast<FLOAT>(height), 8, ORDER_GRAY,
                              &value),
              S_OK);
    ASSERT_EQ(value, 0);
    const BITMAPHANDLE& b = Impl(c).CurrentBitmap;
    ASSERT_NE(b.Addr, nullptr);
    std::memset(b.Addr, kGrey, static_cast<std::size_t>(b.BytesPerLine) * b.Height);
}

// The array's bytes; empty when SaveArray gave no byte array.
std::string SaveArrayBytes(const ComPtr<IaxLumora>& c, int format) {
    Variant result;
    EXPECT_EQ(c->SaveArray(static_cast<SHORT>(format), 8, 0, &result), S_OK);
    if (result.vt != (VT_ARRAY | VT_UI1)) return {};
    LONG upper = -1;
    SafeArrayGetUBound(result.parray, 1, &upper);
    SafeArrayAccess access(result.parray);
    const auto* first = static_cast<const char*>(access.data());
    return std::string(first, first + (upper + 1));
}

std::size_t SaveMemorySize(const ComPtr<IaxLumora>& c, int format) {
    ULONG handle = 0;
    LONG size = 0, value = -1;
    EXPECT_EQ(c->SaveMemory(&handle, static_cast<SHORT>(format), 8, 0, &size, &value), S_OK);
    EXPECT_EQ(value, 0);
    GlobalFree(handle);
    return static_cast<std::size_t>(size);
}

struct Format {
    const char* name;
    int format;
    bool lossless;
    bool sameBytesEverySave;  // DICOM files carry new UIDs each time
};

const Format kFormats[] = {
    {"BMP", FILE_BMP, true, true},           {"PNG", filefmt::FILE_PNG, true, true},
    {"JPEG", FILE_JPEG, false, true},        {"TIFF", FILE_TIFLZW, true, true},
    {"DICOM", FILE_DICOM_GRAY, true, false},
};

}  // namespace

TEST(SmallImageArray, WholeFilesComeBackAndLoadInEveryFormat) {
    for (const int side : {32, 1}) {
        for (const Format& f : kFormats) {
            SCOPED_TRACE(std::string(f.name) + " " + std::to_string(side) + " x " +
                         std::to_string(side));
            auto c = NewControl();
            CreateFlatImage(c, side, side);
            const std::string file = SaveArrayBytes(c, f.format);
            ASSERT_FALSE(file.empty());
            if (f.sameBytesEverySave) {
                EXPECT_EQ(file.size(), SaveMemorySize(c, f.format));
            }

            auto loaded = NewControl();
            Variant array;
            array.vt = VT_ARRAY | VT_UI1;
            array.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(file.size()));
            {
                SafeArrayAccess access(array.parray);
                std::memcpy(access.data(), file.data(), file.size());
            }
            LONG value = -1;
            ASSERT_EQ(loaded->LoadArray(array, 0, 0, 0, static_cast<LONG>(file.size()), &value),
                      S_OK);
            ASSERT_EQ(value, 0);
            const BITMAPHANDLE& b = Impl(loaded).CurrentBitmap;
            EXPECT_EQ(b.Width, side);
            EXPECT_EQ(b.Height, side);
            const std::uint32_t colour = L_GetPixelColor(&b, side - 1, side - 1);
            const int grey = static_cast<int>(colour & 0xFF);
            EXPECT_LE(std::abs(grey - kGrey), f.lossless ? 0 : 2);
        }
    }
}

TEST(SmallImageArray, TheCallbackStillLogsEachEnlargement) {
    auto c = NewControl();
    CreateFlatImage(c, 1, 1);
    CapturedLog log;
    const std::string file = SaveArrayBytes(c, FILE_BMP);
    ASSERT_EQ(file.size(), 14u + 40u + 1024u + 4u);  // headers, 256-entry palette, one padded row
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0],
              "axLumora.SaveBufferCB, uRequiredSize:1082, while buffer is only 2\r\n");
}
