// A read-only stream buffer over bytes in memory, seekable as GDCM's readers need; the bytes
// must outlive it.
#pragma once

#include <cstdint>
#include <ios>
#include <span>
#include <streambuf>

namespace engine {

class MemoryStreamBuffer final : public std::streambuf {
public:
    explicit MemoryStreamBuffer(std::span<const std::uint8_t> data) { Reset(data); }
    void Reset(std::span<const std::uint8_t> data) {
        char* begin = const_cast<char*>(reinterpret_cast<const char*>(data.data()));
        setg(begin, begin, begin + data.size());
    }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir,
                     std::ios_base::openmode) override {
        const off_type base = dir == std::ios_base::beg   ? 0
                              : dir == std::ios_base::cur ? gptr() - eback()
                                                          : egptr() - eback();
        return seekpos(base + offset, std::ios_base::in);
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode) override {
        const off_type target = position;
        if (target < 0 || target > egptr() - eback()) return pos_type(off_type(-1));
        setg(eback(), eback() + target, egptr());
        return position;
    }
};

}  // namespace engine
