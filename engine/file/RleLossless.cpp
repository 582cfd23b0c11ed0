// DICOM RLE Lossless frames: a 64-byte header of segment offsets, then one PackBits segment per
// byte plane, most significant byte of each sample first, each row coded on its own.
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
// 1 - n times. Pairs inside a literal stay literal: breaking it for them saves nothing.
void PackRow(const std::uint8_t* row, std::size_t n, std::vector<std::uint8_t>* out) {
    std::size_t i = 0;
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < kMaxRun && row[i + run] == row[i]) ++run;
        if (run >= 2) {
            out->push_back(static_cast<std::uint8_t>(257 - run));
            out->push_back(row[i]);
            i += run;
            continue;
        }
        std::size_t end = i + 1;
        while (end < n && end - i < kMaxRun && !(end + 2 < n && row[end] == row[end + 1] && row[end] == row[end + 2]))
            ++end;
        out->push_back(static_cast<std::uint8_t>(end - i - 1));
        out->insert(out->end(), row + i, row + end);
        i = end;
    }
}

}  // namespace

bool EncodeRleLossless(const SampleImage& image, std::vector<std::uint8_t>* out) {
    const std::size_t bytesPerSample = static_cast<std::size_t>(image.bitsPerSample / 8);
    const std::size_t stride = bytesPerSample * image.channels;
    const std::size_t segments = stride;
    if (segments == 0 || segments > kMaxSegments || image.width <= 0 || image.height <= 0) return false;
    const std::size_t width = static_cast<std::size_t>(image.width);
    out->assign(kHeaderBytes, 0);
    PutLe32(out->data(), static_cast<std::uint32_t>(segments));
    std::vector<std::uint8_t> plane(width);
    for (std::size_t segment = 0; segment < segments; ++segment) {
        if (out->size() > 0xFFFFFFFFu) return false;
        PutLe32(out->data() + 4 * (segment + 1), static_cast<std::uint32_t>(out->size()));
        // Samples are little-endian in memory; the segments go from the high byte down.
        const std::size_t channel = segment / bytesPerSample;
        const std::size_t byte = bytesPerSample - 1 - segment % bytesPerSample;
        const std::size_t offset = channel * bytesPerSample + byte;
        for (int y = 0; y < image.height; ++y) {
            const std::uint8_t* row = image.Row(y) + offset;
            if (stride == 1) {
                PackRow(row, width, out);
                continue;
            }
            for (std::size_t x = 0; x < width; ++x) plane[x] = row[x * stride];
            PackRow(plane.data(), width, out);
        }
        if (out->size() % 2) out->push_back(0);
    }
    return true;
}

}  // namespace engine::file
