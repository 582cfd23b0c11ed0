// LoadFnRAW: a raw 16-bit sensor image from a file in one of three simple layouts, optionally
// written out as a run-length compressed DICOM file.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <vector>

#include "engine/File.h"
#include "engine/Kernel.h"
#include "io/RawFrame.h"

namespace {

namespace fs = std::filesystem;

constexpr LONG kLoaded = 1;
constexpr LONG kBadLayout = -1;
constexpr LONG kReadFailed = -2;
constexpr LONG kNoInput = -3;
constexpr LONG kBadOutput = -4;

constexpr unsigned kLayoutHeader28 = 0;
constexpr unsigned kLayoutHeader4 = 1;
constexpr unsigned kLayoutHeaderless = 255;

// Raised for any failure while reading: the member answers kReadFailed.
struct ReadFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::uint16_t Word(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void ReadExactly(std::ifstream& file, void* into, std::uint64_t bytes) {
    file.read(static_cast<char*>(into), static_cast<std::streamsize>(bytes));
    if (!file || static_cast<std::uint64_t>(file.gcount()) != bytes)
        throw ReadFailure("The file is shorter than its data");
}

struct Frame {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint16_t> pixels;
};

// Size and pixels by the layout. nullopt: the layout is not accepted (kBadLayout). Sizes are
// checked against the file before anything is allocated, so a header cannot ask for more
// memory than the file holds.
std::optional<Frame> ReadFrame(const fs::path& path, unsigned layout, std::int32_t width,
                               std::int32_t height) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ReadFailure("The file cannot be opened");
    std::error_code ec;
    const std::uint64_t size = fs::file_size(path, ec);
    if (ec) throw ReadFailure("The file's size cannot be read");

    Frame frame;
    std::uint64_t dataStart = 0;
    if (layout == kLayoutHeader28) {
        unsigned char header[28];
        ReadExactly(file, header, sizeof header);
        frame.width = Word(header + 16);
        frame.height = Word(header + 24);
        // Some writers store the last index instead of the count.
        if (28 + 2ull * frame.width * frame.height != size) {
            ++frame.width;
            ++frame.height;
        }
        dataStart = 28;
    } else if (layout == kLayoutHeader4) {
        unsigned char header[4];
        ReadExactly(file, header, sizeof header);
        frame.width = Word(header);
        frame.height = Word(header + 2);
        if (4 + 2ull * frame.width * frame.height != size) return std::nullopt;
        dataStart = 4;
    } else if (layout == kLayoutHeaderless) {
        if (width < 0 || height < 0 || width > 65535 || height > 65535)
            throw ReadFailure("The size is out of range");
        frame.width = static_cast<std::uint32_t>(width);
        frame.height = static_cast<std::uint32_t>(height);
    } else {
        return std::nullopt;
    }
    const std::uint64_t bytes = 2ull * frame.width * frame.height;
    if (dataStart + bytes > size) throw ReadFailure("The file is shorter than its data");
    frame.pixels.resize(bytes / 2);
    ReadExactly(file, frame.pixels.data(), bytes);
    return frame;
}

bool OutputPathUsable(const std::string& name) {
    const fs::path path(name);
    if (path.filename().empty()) return false;
    const fs::path folder = path.parent_path();
    std::error_code ec;
    return folder.empty() || fs::is_directory(folder, ec);
}

}  // namespace

HRESULT TaxLumora::LoadFnRAW(BSTR FnIn, BSTR FnOut, LONG Width, LONG Height, ULONGLONG uFlags,
                             LONG* Value) {
    return SafeCall([&] {
        const fs::path input(BstrToUtf8(FnIn));
        const std::string output = BstrToUtf8(FnOut);
        std::error_code ec;
        if (input.empty() || !fs::is_regular_file(input, ec)) {
            *Value = kNoInput;
            return;
        }
        if (!output.empty() && !OutputPathUsable(output)) {
            *Value = kBadOutput;
            return;
        }
        const raw_frame::FlagWord flags(uFlags);
        const unsigned method = flags.Method();
        try {
            std::optional<Frame> frame = ReadFrame(input, flags.FileLayout(), Width, Height);
            if (!frame) {
                *Value = kBadLayout;
                return;
            }
            const auto width = static_cast<std::int32_t>(frame->width);
            const auto height = static_cast<std::int32_t>(frame->height);
            // Methods 0 and 1 write every byte; the others get a fresh, zeroed image.
            if (method == 0 || method == 1) {
                raw_frame::ReplaceFrameBitmap(CurrentBitmap, width, height, false);
            } else {
                raw_frame::FreeAndInitialise(CurrentBitmap);
                raw_frame::CreateFrameBitmap(CurrentBitmap, width, height, false);
            }
            if (frame->width && frame->height && !ImagePresent())
                throw ReadFailure("The image could not be created");
            if (ImagePresent() && (method == 0 || method == 1)) {
                const std::uint16_t* pixels = frame->pixels.data();
                raw_frame::WriteGreyRows(
                    CurrentBitmap, width, height, [&](std::uint16_t* row, std::int64_t y) {
                        const std::uint16_t* source = pixels + static_cast<std::size_t>(y) * width;
                        if (method == 0)
                            std::transform(source, source + width, row,
                                           [](std::uint16_t v) { return std::uint16_t(v << 4); });
                        else std::copy(source, source + width, row);
                    });
            }
            frame.reset();
            ImageReplaced();
            if (!output.empty())
                L_SaveBitmap(output.c_str(), &CurrentBitmap, FILE_DICOM_RLE_GRAY, 16, -1, nullptr);
            *Value = kLoaded;
        } catch (const std::exception&) {
            *Value = kReadFailed;
        }
    });
}
