// The libraries under the engine never write to the host's standard error: what they say (GDCM's
// JPEG builds while probing a 12-bit stream, libtiff's warnings, libpng's, libjpeg's) becomes a
// line of the control's debug log, there only while the log is on.
#include <fcntl.h>
#include <gdcmTrace.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/Diagnostics.h"
#include "engine/File.h"
#include "engine/Kernel.h"
#include "tests/common/TestFiles.h"

using namespace filefmt;
namespace fs = std::filesystem;

namespace {

using Bytes = std::string;

void Put16(Bytes& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// A 1 × 1 grey TIFF (TIFF 6.0, section 4) with a private tag 50000 that libtiff does not know.
Bytes TiffWithUnknownTag() {
    struct Entry {
        unsigned tag, type;
        std::uint32_t value;
    };
    const std::vector<Entry> entries = {{256, 3, 1}, {257, 3, 1},  {258, 3, 8}, {259, 3, 1},
                                        {262, 3, 1}, {273, 4, 0},  {277, 3, 1}, {278, 3, 1},
                                        {279, 4, 1}, {50000, 3, 7}};
    Bytes file("II*\0", 4);
    Put32(file, 8);
    const std::uint32_t data = static_cast<std::uint32_t>(8 + 2 + entries.size() * 12 + 4);
    Put16(file, static_cast<unsigned>(entries.size()));
    for (const Entry& e : entries) {
        Put16(file, e.tag);
        Put16(file, e.type);
        Put32(file, 1);
        const std::uint32_t value = e.tag == 273 ? data : e.value;
        if (e.type == 3) {
            Put16(file, value);
            Put16(file, 0);
        } else {
            Put32(file, value);
        }
    }
    Put32(file, 0);
    file += '\x80';
    return file;
}

Bytes Saved(int format) {
    ScopedBitmap bitmap;
    EXPECT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 16, 8, 24,
                             ORDER_BGR, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    std::uint8_t* buffer = nullptr;
    std::size_t size = 0;
    const auto grow = [](std::size_t required, std::uint8_t** out, std::size_t* outSize,
                         void* user) {
        auto* storage = static_cast<std::vector<std::uint8_t>*>(user);
        storage->resize(required);
        *out = storage->data();
        *outSize = storage->size();
        return SUCCESS;
    };
    std::vector<std::uint8_t> storage;
    EXPECT_EQ(L_SaveBitmapBuffer(buffer, 0, &size, bitmap.get(), format, 24,
                                 format == FILE_JPEG ? 2 : 0, grow, &storage, nullptr),
              SUCCESS);
    return Bytes(reinterpret_cast<const char*>(storage.data()), size);
}

// A PNG with a tEXt chunk after IHDR whose CRC is wrong: libpng warns and drops the chunk.
Bytes PngWithBadAncillaryCrc() {
    Bytes png = Saved(FILE_PNG);
    const Bytes text("\x00\x00\x00\x03tEXta\0b\x00\x00\x00\x00", 15);
    png.insert(8 + 12 + 13, text);
    return png;
}

// A JPEG with two stray bytes before its scan header: libjpeg warns and reads on.
Bytes JpegWithStrayBytes() {
    Bytes jpeg = Saved(FILE_JPEG);
    const std::size_t sos = jpeg.find("\xFF\xDA");
    EXPECT_NE(sos, Bytes::npos);
    jpeg.insert(sos, Bytes("\x00\x00", 2));
    return jpeg;
}

struct Sample {
    const char* name;
    Bytes bytes;
    const char* line;  // the debug-log line it gives
};

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A 12-bit lossy JPEG DICOM (JPEG Extended): GDCM probes it with its 8-bit JPEG build first. The
// sample ships with pydicom, which the other DICOM sample tests use too.
constexpr const char* kJpeg12Dicom =
    "/usr/lib/python3/dist-packages/pydicom/data/test_files/JPEG-lossy.dcm";

std::vector<Sample> Samples() {
    std::vector<Sample> samples = {
        {"unknown-tag.tif", TiffWithUnknownTag(),
         "axLumora.libtiff, TIFFReadDirectory: Unknown field with tag 50000 (0xc350) encountered"},
        {"bad-crc.png", PngWithBadAncillaryCrc(), "axLumora.libpng, tEXt: CRC error"},
        {"stray.jpg", JpegWithStrayBytes(),
         "axLumora.libjpeg, Corrupt JPEG data: 2 extraneous bytes before marker 0xda"},
    };
    if (fs::exists(kJpeg12Dicom))
        samples.push_back({"jpeg12.dcm", Read(kJpeg12Dicom),
                           "axLumora.GDCM, Unsupported JPEG data precision 12"});
    else ADD_FAILURE() << kJpeg12Dicom << " is missing (python3-pydicom)";
    return samples;
}

// What reaches file descriptor 2 (the standard error of the whole process) during the scope.
class StandardErrorCapture {
public:
    explicit StandardErrorCapture(fs::path file) : file_(std::move(file)) {
        std::fflush(stderr);
        const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StandardErrorCapture() { Finish(); }
    std::string Finish() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
        return Read(file_);
    }

private:
    fs::path file_;
    int saved_ = -1;
};

std::vector<std::string>& Reported() {
    static std::vector<std::string> lines;
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines)
        if (l == line) return true;
    return false;
}

TEST(LibraryMessages, EngineLoadsPrintNothingAndReportEveryMessage) {
    const testsupport::ScratchFolder scratch("library_messages");
    const fs::path& dir = scratch.path();
    const DiagnosticSink previous =
        L_SetDiagnosticSink([](std::string_view line) { Reported().emplace_back(line); });
    Reported().clear();
    std::string written;
    {
        StandardErrorCapture capture(dir / "stderr.txt");
        for (const Sample& sample : Samples()) {
            const fs::path path = dir / sample.name;
            std::ofstream(path, std::ios::binary) << sample.bytes;
            ScopedBitmap bitmap;
            L_LoadFile(path.c_str(), bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGR, 0,
                       nullptr, nullptr, nullptr, nullptr);
        }
        written = capture.Finish();
    }
    L_SetDiagnosticSink(previous);
    EXPECT_EQ(written, "");
    for (const Sample& sample : Samples())
        EXPECT_TRUE(Contains(Reported(), sample.line)) << sample.line;
}

// GDCM's trace macros write the message, then std::endl; blank lines and line ends disappear.
// Reading and writing DICOM leaves GDCM's warnings and errors on, for the log to show them.
TEST(LibraryMessages, GdcmTraceStreamsStayOnAndAreRoutedOneLinePerMessage) {
    const testsupport::ScratchFolder scratch("library_messages");
    const fs::path written = scratch.path() / "written.dcm";
    ScopedBitmap bitmap;
    ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 4, 3, 16,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    ASSERT_EQ(L_SaveBitmap(written.c_str(), bitmap.get(), FILE_DICOM_GRAY, 0, 0, nullptr), SUCCESS);
    ASSERT_EQ(L_LoadFile(written.c_str(), bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_GRAY, 0,
                         nullptr, nullptr, nullptr, nullptr),
              SUCCESS);
    EXPECT_TRUE(gdcm::Trace::GetWarningFlag());
    EXPECT_TRUE(gdcm::Trace::GetErrorFlag());

    const DiagnosticSink previous =
        L_SetDiagnosticSink([](std::string_view line) { Reported().emplace_back(line); });
    Reported().clear();
    gdcm::Trace::GetWarningStream()
        << "Warning: In gdcmReader.cxx, line 7, function Read\nno preamble\n\n"
        << std::endl;
    gdcm::Trace::GetErrorStream() << "\n" << std::endl;
    L_SetDiagnosticSink(previous);
    EXPECT_EQ(Reported(),
              std::vector<std::string>{
                  "axLumora.GDCM, Warning: In gdcmReader.cxx, line 7, function Read no preamble"});
}

// The real host and library, with the log switched on and off through the registry.
TEST(LibraryMessages, HostShowsThemOnlyInTheDebugLog) {
    const testsupport::ScratchFolder scratch("library_messages");
    const fs::path& dir = scratch.path();
    std::ofstream script(dir / "load.txt");
    for (const Sample& sample : Samples()) {
        std::ofstream(dir / sample.name, std::ios::binary) << sample.bytes;
        script << "Load \"" << (dir / sample.name).string() << "\" 0 0 0\n";
    }
    script.close();
    for (const bool logOn : {true, false}) {
        SCOPED_TRACE(logOn ? "log on" : "log off");
        std::ofstream(dir / "registry.reg") << "Windows Registry Editor Version 5.00\n\n"
                                               "[HKEY_CURRENT_USER\\Software\\Corvane\\Savonne]\n"
                                               "\"DebugView\"=dword:0000000"
                                            << (logOn ? 1 : 0) << "\n";
        fs::remove(dir / "debug.txt");
        const std::string command =
            "AXLUMORA_REGISTRY=" + (dir / "registry.reg").string() +
            " AXLUMORA_DEBUG_OUTPUT=" + (dir / "debug.txt").string() + " " + AXLUMORA_HOST_PATH +
            " --keep-going run " + (dir / "load.txt").string() + " >" +
            (dir / "stdout.txt").string() + " 2>" + (dir / "stderr.txt").string();
        ASSERT_NE(std::system(command.c_str()), -1);  // some loads fail: the exit code says so
        const std::string output = Read(dir / "stdout.txt");
        EXPECT_EQ(Read(dir / "stderr.txt"), "") << output;
        const std::string log = Read(dir / "debug.txt");
        for (const Sample& sample : Samples())
            EXPECT_EQ(log.find(std::string(sample.line) + "\r\n") != std::string::npos, logOn)
                << sample.line << "\n"
                << log;
    }
}

}  // namespace
