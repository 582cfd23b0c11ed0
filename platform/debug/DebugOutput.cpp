// The debug-output channel. Lines leave at once: the process may be about to crash, and a
// buffered line would be lost with it.
#include "platform/debug/DebugOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_captureMutex;
DebugOutputCapture g_capture;

// Writes all of `text`. On a file opened with O_APPEND one write() places the whole line at
// the end in one piece, so lines of concurrent processes do not interleave; the loop only
// matters for the rare short write (a full disk, a pipe for standard error).
void WriteAll(int fd, const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, text, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text += n;
        size -= static_cast<std::size_t>(n);
    }
}

}  // namespace

DebugOutputCapture SetDebugOutputCapture(DebugOutputCapture capture) {
    std::lock_guard lock(g_captureMutex);
    DebugOutputCapture previous = std::move(g_capture);
    g_capture = std::move(capture);
    return previous;
}

void OutputDebugStringA(const char* lpOutputString) {
    if (!lpOutputString) return;
    // Debug output never fails toward the caller: whatever a capture throws stays here.
    try {
        DebugOutputCapture capture;
        {
            std::lock_guard lock(g_captureMutex);
            capture = g_capture;
        }
        // Called outside the lock so that a capture may itself log or swap captures.
        if (capture) {
            capture(lpOutputString);
            return;
        }
    } catch (...) {
        return;
    }

    const std::size_t size = std::strlen(lpOutputString);
    const char* path = std::getenv("AXLUMORA_DEBUG_OUTPUT");
    if (path && *path) {
        const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) {
            WriteAll(fd, lpOutputString, size);
            ::close(fd);
            return;
        }
    }
    WriteAll(STDERR_FILENO, lpOutputString, size);
}
