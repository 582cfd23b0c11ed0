// Helpers shared by the registry store and its desktop-shaped functions.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/WinTypes.h"

namespace registry_text {

// Key paths and value names compare case-insensitively; ASCII folding is what the store uses.
std::string FoldAscii(std::string_view s);

// UTF-16LE bytes (an odd last byte is ignored) to UTF-8, zeros included.
std::string Utf16LeToUtf8(const std::vector<BYTE>& bytes);
// UTF-8 to UTF-16LE bytes, with a 16-bit zero appended when `terminate` is set.
std::vector<BYTE> Utf8ToUtf16Le(std::string_view text, bool terminate = false);

inline std::uint32_t ReadLe32(const BYTE* p) {
    return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}

// Closes a POSIX file descriptor on scope exit.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

private:
    int fd_;
};

}  // namespace registry_text
