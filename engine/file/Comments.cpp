// File comments: the pending comments later saves write, and reading a file's comments.
#include <cstring>
#include <mutex>

#include "engine/file/Codec.h"

namespace engine::file {
namespace {
std::mutex& CommentsMutex() {
    static std::mutex mutex;
    return mutex;
}
Comments& PendingStore() {
    static Comments comments;
    return comments;
}
}  // namespace

Comments PendingComments() {
    std::lock_guard lock(CommentsMutex());
    return PendingStore();
}
}  // namespace engine::file

int L_SetComment(int index, const std::uint8_t* text, unsigned length) {
    if (index < 0 || index > CMNT_LAST) return ERROR_INV_PARAMETER;
    std::lock_guard lock(engine::file::CommentsMutex());
    auto& store = engine::file::PendingStore();
    if (!text || length == 0) {
        store.erase(index);
        return 0;
    }
    // The text ends at its first zero byte (the length includes the terminator).
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(text, 0, length));
    store[index].assign(reinterpret_cast<const char*>(text),
                        end ? static_cast<std::size_t>(end - text) : length);
    return 0;
}

int L_ReadFileComment(const char* fileName, int index, std::uint8_t* buffer, unsigned bufferLength,
                      const LOADFILEOPTION*) {
    if (index < 0) return ERROR_INV_PARAMETER;
    engine::file::FileBytes data;
    const int read = engine::file::ReadWholeFile(fileName, &data);
    if (read != SUCCESS) return read;
    auto decoder = engine::file::OpenDecoder(data.View());
    if (!decoder) return ERROR_FILE_FORMAT;
    engine::file::ImageInfo info;
    const int status = decoder->ReadInfo(&info);
    if (status != SUCCESS) return status;
    std::string text;
    if (!decoder->Comment(index, &text)) return 0;
    const std::size_t needed = text.size() + 1;
    if (needed > 0x7FFFFFFF) return ERROR_INV_SIZE;
    if (!buffer) return static_cast<int>(needed);
    if (bufferLength < needed) return ERROR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, text.c_str(), needed);
    return static_cast<int>(needed);
}
