// DICOM RLE Lossless frames (PS3.5 G): a 64-byte header of up to 15 segment offsets, then one
// PackBits segment per byte plane, most significant byte of each sample first, each row coded on
// its own.
#include "engine/file/RleLossless.h"

#include <algorithm>
#include <cstring>

namespace engine::file {
namespace {

constexpr std::size_t kHeaderBytes = 64;
constexpr std::size_t kMaxSegments = 15;
constexpr std::size_t kMaxRun = 128;

void PutLe32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// PackBits: a header n of 0..127 copies the next n + 1 bytes; -1..-127 repeats the next byte
// 1 - n times. Pairs inside a literal stay literal: breaking it for them saves nothing. Writes
// at most n + ceil(n / 128) bytes at out and returns the end.
std::uint8_t* PackRow(const std::uint8_t* row, std::size_t n, std::uint8_t* out) {
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < kMaxRun && row[i + run] == row[i]) ++run;
        if (run >= 2) {
            *out++ = static_cast<std::uint8_t>(257 - run);
            *out++ = row[i];
            i += run;
            continue;
        }
        const std::size_t limit = std::min(n, i + kMaxRun);
        std::size_t end = i + 1;
        while (end < limit &&
               !(end + 2 < n && row[end] == row[end + 1] && row[end] == row[end + 2]))
            ++end;
        *out++ = static_cast<std::uint8_t>(end - i - 1);
        std::memcpy(out, row + i, end - i);
        out += end - i;
        i = end;
    }
    return out;
}

std::uint32_t GetLe32(Bytes data, std::size_t at) {
    return data[at] | data[at + 1] << 8 | data[at + 2] << 16 | std::uint32_t{data[at + 3]} << 24;
}

// One segment into every stride-th byte of out, planeBytes of them.
bool UnpackSegment(Bytes segment, std::size_t planeBytes, std::size_t stride, std::uint8_t* out) {
    std::size_t pos = 0, produced = 0;
    while (produced < planeBytes) {
        if (pos >= segment.size()) return false;
        const auto control = static_cast<std::int8_t>(segment[pos++]);
        if (control >= 0) {
            std::size_t count = static_cast<std::size_t>(control) + 1;
            if (count > segment.size() - pos) return false;
            count = std::min(count, planeBytes - produced);
            if (stride == 1) {
                std::memcpy(out + produced, segment.data() + pos, count);
            } else {
                for (std::size_t i = 0; i < count; ++i)
                    out[(produced + i) * stride] = segment[pos + i];
            }
            pos += static_cast<std::size_t>(control) + 1;
            produced += count;
        } else if (control != -128) {
            if (pos >= segment.size()) return false;
            const std::uint8_t value = segment[pos++];
            const std::size_t count =
                std::min<std::size_t>(static_cast<std::size_t>(1 - control), planeBytes - produced);
            if (stride == 1) {
                std::memset(out + produced, value, count);
            } else {
                for (std::size_t i = 0; i < count; ++i) out[(produced + i) * stride] = value;
            }
            produced += count;
        }
    }
    return true;
}

}  // namespace

bool RleFrameIsClean(Bytes frame, std::size_t planeBytes, unsigned segments) {
    if (frame.size() < kHeaderBytes || segments == 0 || segments > kMaxSegments) return false;
    if (GetLe32(frame, 0) != segments) return false;
    for (unsigned i = 0; i < segments; ++i) {
        const std::uint32_t start = GetLe32(frame, 4 + 4 * i);
        const std::uint32_t end =
            i + 1 < segments ? GetLe32(frame, 8 + 4 * i) : static_cast<std::uint32_t>(frame.size());
        if ((i == 0 && start != kHeaderBytes) || start >= end || end > frame.size()) return false;
        std::size_t pos = start, produced = 0;
        while (produced < planeBytes) {
            if (pos >= end) return false;
            const auto control = static_cast<std::int8_t>(frame[pos++]);
            if (control >= 0) {
                const std::size_t literal = static_cast<std::size_t>(control) + 1;
                if (literal > end - pos) return false;
                pos += literal;
                produced += literal;
            } else if (control != -128) {
                if (pos >= end) return false;
                ++pos;
                produced += static_cast<std::size_t>(1 - control);
            }
        }
        // Exactly one plane, and no more than padding left over.
        if (produced != planeBytes || end - pos > 2) return false;
    }
    for (unsigned i = segments; i < kMaxSegments; ++i)
        if (GetLe32(frame, 4 + 4 * i) != 0) return false;
    return true;
}

bool DecodeRleLossless(Bytes frame, std::size_t planeBytes, int channels, int bytesPerSample,
                       std::uint8_t* out) {
    const std::size_t stride = static_cast<std::size_t>(channels) * bytesPerSample;
    if (stride == 0 || stride > kMaxSegments || frame.size() < kHeaderBytes ||
        GetLe32(frame, 0) != stride)
        return false;
    for (std::size_t segment = 0; segment < stride; ++segment) {
        const std::size_t start = GetLe32(frame, 4 * (segment + 1));
        const std::size_t end =
            segment + 1 < stride ? GetLe32(frame, 4 * (segment + 2)) : frame.size();
        if (start < kHeaderBytes || start > end || end > frame.size()) return false;
        const std::size_t channel = segment / bytesPerSample;
        const std::size_t byte = bytesPerSample - 1 - segment % bytesPerSample;
        if (!UnpackSegment(frame.subspan(start, end - start), planeBytes, stride,
                           out + channel * bytesPerSample + byte))
            return false;
    }
    return true;
}

bool EncodeRleLossless(const SampleImage& image, std::vector<std::uint8_t>* out) {
    const std::size_t bytesPerSample = static_cast<std::size_t>(image.bitsPerSample / 8);
    const std::size_t stride = bytesPerSample * image.channels;
    const std::size_t segments = stride;
    if (segments == 0 || segments > kMaxSegments || image.width <= 0 || image.height <= 0)
        return false;
    const std::size_t width = static_cast<std::size_t>(image.width);
    const std::size_t height = static_cast<std::size_t>(image.height);
    // A row codes to at most one header byte per 128 bytes more than it holds.
    const std::size_t worstSegment = height * (width + width / kMaxRun + 2) + 1;
    if (worstSegment > (0xFFFFFFFFu - kHeaderBytes) / segments) return false;
    out->resize(kHeaderBytes + segments * worstSegment);
    std::uint8_t* const begin = out->data();
    std::fill(begin, begin + kHeaderBytes, 0);
    PutLe32(begin, static_cast<std::uint32_t>(segments));
    std::uint8_t* cursor = begin + kHeaderBytes;
    std::vector<std::uint8_t> plane(width);
    for (std::size_t segment = 0; segment < segments; ++segment) {
        PutLe32(begin + 4 * (segment + 1), static_cast<std::uint32_t>(cursor - begin));
        // Samples are little-endian in memory; the segments go from the high byte down.
        const std::size_t channel = segment / bytesPerSample;
        const std::size_t byte = bytesPerSample - 1 - segment % bytesPerSample;
        const std::size_t offset = channel * bytesPerSample + byte;
        for (std::size_t y = 0; y < height; ++y) {
            const std::uint8_t* row = image.Row(static_cast<int>(y)) + offset;
            if (stride == 1) {
                cursor = PackRow(row, width, cursor);
                continue;
            }
            for (std::size_t x = 0; x < width; ++x) plane[x] = row[x * stride];
            cursor = PackRow(plane.data(), width, cursor);
        }
        if ((cursor - begin) % 2) *cursor++ = 0;
    }
    out->resize(static_cast<std::size_t>(cursor - begin));
    return true;
}

}  // namespace engine::file
