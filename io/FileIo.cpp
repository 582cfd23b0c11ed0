// Helpers of the file members: names, packed file information, the retry wait.
#include "io/FileIo.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace io {

namespace {
constexpr std::size_t kNameBuffer = 264;

std::string Cut(std::string name) {
    if (name.size() > kNameBuffer - 1) name.resize(kNameBuffer - 1);
    return name;
}

RetryWait& Wait() {
    static RetryWait wait;
    return wait;
}
}  // namespace

std::string EngineFileName(BSTR name) { return Cut(BstrToUtf8(name)); }
std::string EngineFileName(const std::u16string& name) {
    BStr text(name);
    return Cut(text.utf8());
}

bool FileExists(const std::string& name) {
    struct stat status {};
    return !name.empty() && ::stat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

void FillPackedInfo(const FILEINFO& info, TaxLumora_FileInfoPacked* packed) {
    TaxLumora_FileInfoPacked filled{};
    filled.SizeDisk = Checked<std::int32_t>(info.SizeDisk);
    filled.SizeMem = Checked<std::int32_t>(info.SizeMem);
    filled.Layers = Checked<std::int16_t>(info.Layers);
    filled.XRes = info.XResolution;
    filled.YRes = info.YResolution;
    filled.TotalPages = info.TotalPages;
    filled.Page = info.PageNumber;
    filled.Format = Checked<std::int16_t>(info.Format);
    filled.Bits = Checked<std::int16_t>(info.BitsPerPixel);
    filled.Height = static_cast<float>(info.Height);
    filled.Width = static_cast<float>(info.Width);
    *packed = filled;
}

void CopyPackedInfo(const TaxLumora_FileInfoPacked& packed, TaxLumora_FileInfo* record) {
    std::memcpy(record, &packed, sizeof packed);
}

RetryWait SetLoadRetryWaitForTesting(RetryWait wait) {
    RetryWait previous = std::move(Wait());
    Wait() = std::move(wait);
    return previous;
}

void LoadRetryWait(int milliseconds) {
    if (Wait()) {
        Wait()(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace io
