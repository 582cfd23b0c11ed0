// The file, memory, array, DIB and tag members as a host calls them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "../control/ControlFixture.h"
#include "engine/Kernel.h"
#include "io/FileIo.h"
#include "platform/handles/GlobalMemory.h"
#include "tests/common/TestFiles.h"

namespace {

// The captured lines without their "\r\n".
std::vector<std::string> Lines(const CapturedLog& log) {
    std::vector<std::string> lines;
    for (std::string line : log.lines()) {
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
            line.resize(line.size() - 2);
        lines.push_back(line);
    }
    return lines;
}

std::string TempPath(const std::string& name) { return testsupport::TempPath("members", name); }

// Counts Load's waits instead of sleeping.
class CountedWaits {
public:
    CountedWaits() {
        previous_ = io::SetLoadRetryWaitForTesting([this](int ms) {
            total_ += ms;
            if (hook_) hook_(++count_);
            else ++count_;
        });
    }
    ~CountedWaits() { io::SetLoadRetryWaitForTesting(previous_); }
    int count() const { return count_; }
    int totalMilliseconds() const { return total_; }
    std::function<void(int)> hook_;

private:
    io::RetryWait previous_;
    int count_ = 0;
    int total_ = 0;
};

// A control holding a 16-bit grey gradient.
ComPtr<IaxLumora> ControlWithImage(int width = 64, int height = 32) {
    auto control = NewControl();
    LONG value = -99;
    EXPECT_EQ(control->CreateBitmap(static_cast<FLOAT>(width), static_cast<FLOAT>(height), 16,
                                    ORDER_GRAY, &value),
              S_OK);
    BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x)
            reinterpret_cast<std::uint16_t*>(b.Addr + y * b.BytesPerLine)[x] =
                static_cast<std::uint16_t>((x * 64 + y) & 0xFFF);
    b.LowBit = 0;
    b.HighBit = 11;
    return control;
}

}  // namespace

TEST(LoadMember, MissingFileRetriesElevenTimesThenGivesMinusOne) {
    auto control = NewControl();
    CapturedLog log;
    CountedWaits waits;
    SHORT value = 0;
    BStr name = BStr::FromUtf8(TempPath("never-there.dcm"));
    ASSERT_EQ(control->Load(name.get(), 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, -1);
    const auto lines = Lines(log);
    ASSERT_EQ(lines.size(), 11u);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(lines[i], "axLumora.Load, File not accessable (Result: -1), retrying #" +
                                std::to_string(i + 1) + " after 500ms...");
    EXPECT_EQ(waits.totalMilliseconds(), 5500);
    EXPECT_TRUE(Impl(control).LastFileName.empty());
}

TEST(LoadMember, FileAppearingDuringTheRetriesLoadsWithoutFurtherRetries) {
    auto source = ControlWithImage();
    const std::string path = TempPath("late.dcm");
    std::filesystem::remove(path);
    auto control = NewControl();
    CapturedLog log;
    CountedWaits waits;
    waits.hook_ = [&](int count) {
        if (count == 2) {
            SHORT saved = -99;
            BStr name = BStr::FromUtf8(path);
            source->SAVE(name.get(), FILE_DICOM_GRAY, 0, 0, 0, &saved);
        }
    };
    SHORT value = -99;
    BStr name = BStr::FromUtf8(path);
    ASSERT_EQ(control->Load(name.get(), 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(waits.count(), 2);
    EXPECT_EQ(Impl(control).CurrentBitmap.Width, 64);
    EXPECT_EQ(Impl(control).CurrentBitmap.BitsPerPixel, 16);
    const auto lines = Lines(log);
    const std::vector<std::string> tail(lines.end() - 6, lines.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"axLumora.Load, Begin", "axLumora.Load, nOrder:2",
                                        "axLumora.Load, IsGray:1", "axLumora.Load, Result:1",
                                        "axLumora.Load, Result -> :0", "axLumora.Load, End"}));
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const std::string& l) { return l.find("retrying") != std::string::npos; }),
        2);
    std::filesystem::remove(path);
}

TEST(LoadMember, UndecodableFileReportsTheEngineCodeEveryAttempt) {
    const std::string path = TempPath("garbage.bin");
    std::ofstream(path) << "not an image at all";
    auto control = ControlWithImage();
    CapturedLog log;
    CountedWaits waits;
    SHORT value = 0;
    BStr name = BStr::FromUtf8(path);
    ASSERT_EQ(control->Load(name.get(), 0, 0, 0, &value), S_OK);
    EXPECT_EQ(value, ERROR_FILE_FORMAT);
    const auto lines = Lines(log);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "axLumora.L_FileInfo() FAILED: -9"), 11);
    EXPECT_NE(Impl(control).CurrentBitmap.Addr, nullptr);  // the old image stays
    EXPECT_EQ(Impl(control).CurrentBitmap.Width, 64);
    std::filesystem::remove(path);
}

TEST(CheckForBadMinMaxVal, ClampsOnlyOutOfRangeSamples) {
    auto control = ControlWithImage(4, 2);
    TaxLumora& impl = Impl(control);
    EXPECT_FALSE(io::CheckForBadMinMaxVal(impl));  // the engine's own min/max cover every sample
}

TEST(SaveMember, WithoutAnImageLeavesValueAndLogsOnlyBegin) {
    auto control = NewControl();
    CapturedLog log;
    SHORT value = 1234;
    BStr name = BStr::FromUtf8(TempPath("none.bmp"));
    ASSERT_EQ(control->SAVE(name.get(), FILE_BMP, 8, 0, 0, &value), S_OK);
    EXPECT_EQ(value, 1234);
    EXPECT_EQ(Lines(log), std::vector<std::string>{"axLumora.Save, Begin"});
}

TEST(FileInfoMember, PackedCopyAndFailures) {
    auto control = ControlWithImage(100, 50);
    const std::string path = TempPath("info.tif");
    SHORT saved = -1;
    BStr name = BStr::FromUtf8(path);
    ASSERT_EQ(control->SAVE(name.get(), FILE_TIFLZW, 16, 0, 1, &saved),
              S_OK);  // iModify 1 acts as 0
    ASSERT_EQ(saved, 0);
    TaxLumora_FileInfo record{};
    ASSERT_EQ(control->GetFileInfo(name.get(), 0, 0, &record), S_OK);
    TaxLumora_FileInfoPacked packed;
    std::memcpy(&packed, &record, sizeof packed);
    EXPECT_EQ(+packed.SizeDisk, static_cast<std::int32_t>(std::filesystem::file_size(path)));
    EXPECT_EQ(+packed.Format, FILE_TIFLZW);
    EXPECT_EQ(+packed.Bits, 16);
    EXPECT_EQ(+packed.Width, 100.0f);
    EXPECT_EQ(+packed.Height, 50.0f);
    EXPECT_EQ(+packed.SizeMem, 200 * 50);

    // Empty Fn after a load describes the loaded file.
    SHORT loaded = -1;
    CountedWaits waits;
    ASSERT_EQ(control->Load(name.get(), 0, 0, 0, &loaded), S_OK);
    TaxLumora_FileInfo again{};
    BStr empty;
    ASSERT_EQ(control->GetFileInfo(empty.get(), 0, 0, &again), S_OK);
    EXPECT_EQ(std::memcmp(&again, &record, sizeof record), 0);

    // Unreadable: SizeMem -1, all else 0. Missing: record untouched. Negative flags: an error.
    const std::string junk = TempPath("junk.tif");
    std::ofstream(junk) << "II*\0 junk";
    BStr junkName = BStr::FromUtf8(junk);
    TaxLumora_FileInfo bad{};
    ASSERT_EQ(control->GetFileInfo(junkName.get(), 0, 0, &bad), S_OK);
    TaxLumora_FileInfoPacked expected{};
    expected.SizeMem = -1;
    EXPECT_EQ(std::memcmp(&bad, &expected, sizeof expected), 0);
    TaxLumora_FileInfo untouched;
    std::memset(&untouched, 0x5A, sizeof untouched);
    BStr missing = BStr::FromUtf8(TempPath("missing.tif"));
    ASSERT_EQ(control->GetFileInfo(missing.get(), 0, 0, &untouched), S_OK);
    EXPECT_EQ(untouched.SizeDisk, 0x5A5A5A5A);
    EXPECT_EQ(control->GetFileInfo(name.get(), 0, -1, &untouched), E_UNEXPECTED);
    std::filesystem::remove(path);
    std::filesystem::remove(junk);
}

TEST(MemoryMembers, SaveMemoryLoadMemoryAndInfoRoundTrip) {
    auto control = ControlWithImage(40, 30);
    CapturedLog log;
    ULONG handle = 0;
    LONG size = 0, value = -99;
    ASSERT_EQ(control->SaveMemory(&handle, FILE_DICOM_RLE_GRAY, 0, 0, &size, &value), S_OK);
    ASSERT_EQ(value, 0);
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(static_cast<std::size_t>(size), GlobalSize(handle));
    EXPECT_EQ(Lines(log).back(), "TaxLumora.SaveMemory, End. hMem:$" + HexUpper(handle, 4));

    TaxLumora_FileInfo record{};
    ASSERT_EQ(control->GetMemoryInfo(handle, 0, size, 0, &record), S_OK);
    TaxLumora_FileInfoPacked packed;
    std::memcpy(&packed, &record, sizeof packed);
    EXPECT_EQ(+packed.Format, FILE_DICOM_RLE_GRAY);
    EXPECT_EQ(+packed.Width, 40.0f);

    auto other = NewControl();
    ASSERT_EQ(other->LoadMemory(handle, 0, 0, 0, size, &value), S_OK);
    EXPECT_EQ(value, 0);
    const BITMAPHANDLE& a = Impl(control).CurrentBitmap;
    const BITMAPHANDLE& b = Impl(other).CurrentBitmap;
    ASSERT_EQ(b.Width, 40);
    for (int y = 0; y < 30; ++y)
        EXPECT_EQ(std::memcmp(a.Addr + y * a.BytesPerLine, b.Addr + y * b.BytesPerLine, 80), 0);

    // The host frees the block; the controls are unaffected. A claimed size past the block is cut.
    EXPECT_EQ(GlobalFree(handle), 0u);
    EXPECT_EQ(Impl(other).CurrentBitmap.Width, 40);
    ASSERT_EQ(other->LoadMemory(handle, 0, 0, 0, size * 100, &value), S_OK);
    EXPECT_NE(value, 0);

    TaxLumora_FileInfo untouched;
    std::memset(&untouched, 0x33, sizeof untouched);
    ASSERT_EQ(control->GetMemoryInfo(0, 0, 100, 0, &untouched), S_OK);
    EXPECT_EQ(untouched.SizeDisk, 0x33333333);
}

TEST(ArrayMembers, SaveArrayLoadArrayRoundTripAndRefusals) {
    auto control = ControlWithImage(256, 256);
    VARIANT bytes;
    ASSERT_EQ(control->SaveArray(FILE_BMP, 8, 0, &bytes), S_OK);
    ASSERT_EQ(bytes.vt, VT_ARRAY | VT_UI1);
    LONG upper = -1;
    SafeArrayGetUBound(bytes.parray, 1, &upper);
    EXPECT_EQ(upper + 1, 14 + 40 + 1024 + 256 * 256);

    auto other = NewControl();
    LONG value = -99;
    ASSERT_EQ(other->LoadArray(bytes, 0, 0, 0, upper + 1, &value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Impl(other).CurrentBitmap.BitsPerPixel, 8);
    EXPECT_EQ(Impl(other).CurrentBitmap.Addr[0], 0);
    EXPECT_EQ(Impl(other).CurrentBitmap.Addr[Impl(other).CurrentBitmap.BytesPerLine + 1],
              (64 + 1) >> 4);
    VariantClear(&bytes);

    VARIANT refused;
    ASSERT_EQ(control->SaveArray(FILE_BMP, 16, 0, &refused), S_OK);
    EXPECT_EQ(refused.vt, VT_I4);
    EXPECT_EQ(refused.lVal, -1);

    VARIANT notArray;
    VariantInit(&notArray);
    notArray.vt = VT_I4;
    EXPECT_EQ(other->LoadArray(notArray, 0, 0, 0, 10, &value), E_UNEXPECTED);
}

TEST(ArrayMembers, TooSmallBufferIsLoggedAndGrownToTheWholeFile) {
    auto control = ControlWithImage(2, 2);  // 8 bytes of room, far less than a BMP file
    CapturedLog log;
    VARIANT bytes;
    ASSERT_EQ(control->SaveArray(FILE_BMP, 8, 0, &bytes), S_OK);
    ASSERT_EQ(bytes.vt, VT_ARRAY | VT_UI1);
    LONG upper = 0;
    SafeArrayGetUBound(bytes.parray, 1, &upper);
    EXPECT_EQ(upper, 1085);
    const auto lines = Lines(log);
    EXPECT_EQ(lines, std::vector<std::string>{
                         "axLumora.SaveBufferCB, uRequiredSize:1086, while buffer is only 8"});
    VariantClear(&bytes);
}

TEST(DibMember, EightBitDibSkipsItsFullColourTable) {
    const int width = 3, height = 2, stride = 4;
    const HGLOBAL block = GlobalAlloc(GHND, 40 + 1024 + stride * height);
    auto* base = static_cast<std::uint8_t*>(GlobalLock(block));
    BITMAPINFOHEADER header{};
    header.biSize = 40, header.biWidth = width, header.biHeight = height, header.biPlanes = 1,
    header.biBitCount = 8;
    std::memcpy(base, &header, sizeof header);
    for (int i = 0; i < 256; ++i)
        base[40 + 4 * i] = base[40 + 4 * i + 1] = base[40 + 4 * i + 2] =
            static_cast<std::uint8_t>(i);
    base[40 + 1024] = 7;           // bottom row first
    base[40 + 1024 + stride] = 9;  // top row
    GlobalUnlock(block);
    auto control = NewControl();
    LONG value = -99;
    ASSERT_EQ(control->SetDIB(block, &value), S_OK);
    EXPECT_EQ(value, 0);
    const BITMAPHANDLE& b = Impl(control).CurrentBitmap;
    EXPECT_EQ(b.Width, 3);
    EXPECT_EQ(b.Addr[0], 9);
    EXPECT_EQ(b.Addr[b.BytesPerLine], 7);
    GlobalFree(block);
    // A block too short for the rows it claims fails and keeps the image.
    const HGLOBAL shortBlock = GlobalAlloc(GHND, 40);
    header.biWidth = 100000, header.biHeight = 100000, header.biBitCount = 24;
    std::memcpy(GlobalLock(shortBlock), &header, sizeof header);
    GlobalUnlock(shortBlock);
    ASSERT_EQ(control->SetDIB(shortBlock, &value), S_OK);
    EXPECT_NE(value, 0);
    EXPECT_EQ(Impl(control).CurrentBitmap.Width, 3);
    GlobalFree(shortBlock);
}

TEST(TagMembers, SetTagReachesTheSavedDicomAndGetTagReadsTheLoadedFile) {
    auto control = ControlWithImage(8, 8);
    LONG accepted = 0;
    VARIANT id;
    VariantInit(&id);
    id.vt = VT_I4;
    id.lVal = 4711;
    ASSERT_EQ(control->SetTag(CMNT_SZPATIENTID, id, &accepted), S_OK);
    EXPECT_EQ(accepted, 1);
    const std::string path = TempPath("tagged.dcm");
    BStr name = BStr::FromUtf8(path);
    SHORT saved = -1;
    ASSERT_EQ(control->SAVE(name.get(), FILE_DICOM_GRAY, 0, 0, 0, &saved), S_OK);
    ASSERT_EQ(saved, 0);

    // Before any load GetTag answers the empty text; after the load, the file's tag.
    VARIANT tag;
    ASSERT_EQ(control->GetTag(CMNT_SZPATIENTID, &tag), S_OK);
    EXPECT_EQ(tag.vt, VT_BSTR);
    EXPECT_EQ(BstrToUtf8(tag.bstrVal), "");
    VariantClear(&tag);
    SHORT loaded = -1;
    CountedWaits waits;
    ASSERT_EQ(control->Load(name.get(), 0, 0, 0, &loaded), S_OK);
    ASSERT_EQ(control->GetTag(CMNT_SZPATIENTID, &tag), S_OK);
    EXPECT_EQ(BstrToUtf8(tag.bstrVal), "4711");
    VariantClear(&tag);

    // A tag set now is not what GetTag sees; an array cannot be a tag; negative indexes fail.
    VARIANT other;
    VariantInit(&other);
    other.vt = VT_BSTR;
    other.bstrVal = Utf8ToBstr("0815");
    ASSERT_EQ(control->SetTag(CMNT_SZPATIENTID, other, &accepted), S_OK);
    VariantClear(&other);
    ASSERT_EQ(control->GetTag(CMNT_SZPATIENTID, &tag), S_OK);
    EXPECT_EQ(BstrToUtf8(tag.bstrVal), "4711");
    VariantClear(&tag);
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_UI1;
    array.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_EQ(control->SetTag(CMNT_SZPATIENTNAME, array, &accepted), S_OK);
    EXPECT_EQ(accepted, -1);
    VariantClear(&array);
    VARIANT empty;
    VariantInit(&empty);
    ASSERT_EQ(control->SetTag(-3, empty, &accepted), S_OK);
    EXPECT_EQ(accepted, -1);
    ASSERT_EQ(control->SetTag(CMNT_SZPATIENTID, empty, &accepted), S_OK);  // an empty tag
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(control->GetTag(-1, &tag), E_UNEXPECTED);
    L_SetComment(CMNT_SZPATIENTID, nullptr, 0);
    std::filesystem::remove(path);
}
