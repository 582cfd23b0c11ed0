#include "engine/file/DicomGreyValues.h"

#include <algorithm>

namespace engine::file {

LinearRescale BitmapRescale(LinearRescale file, std::int64_t signOffset, std::int64_t mask,
                            bool invert) {
    if (file.slope == 0) file.slope = 1;
    // held = stored + signOffset, or mask - (stored + signOffset) for MONOCHROME1.
    if (!invert) return {file.slope, file.intercept - static_cast<double>(signOffset) * file.slope};
    return {-file.slope, file.intercept + static_cast<double>(mask - signOffset) * file.slope};
}

std::int64_t StoredValue32(std::span<const std::uint8_t> words, std::size_t i, unsigned stored,
                           bool isSigned) {
    const std::uint8_t* w = words.data() + 4 * i;
    std::uint64_t v = std::uint64_t{w[0]} | std::uint64_t{w[1]} << 8 | std::uint64_t{w[2]} << 16 |
                      std::uint64_t{w[3]} << 24;
    v &= (std::uint64_t{1} << stored) - 1;
    if (isSigned && (v >> (stored - 1)) & 1)
        return static_cast<std::int64_t>(v) - (std::int64_t{1} << stored);
    return static_cast<std::int64_t>(v);
}

Narrowing PlanNarrowing(std::span<const std::uint8_t> words, std::size_t count, unsigned stored,
                        bool isSigned) {
    if (count == 0) return {};
    std::int64_t low = StoredValue32(words, 0, stored, isSigned), high = low;
    for (std::size_t i = 1; i < count; ++i) {
        const std::int64_t v = StoredValue32(words, i, stored, isSigned);
        low = std::min(low, v);
        high = std::max(high, v);
    }
    Narrowing n{low, 0};
    while (((high - low) >> n.shift) > 0xFFFF) ++n.shift;
    return n;
}

void NarrowSamples(std::span<const std::uint8_t> words, std::size_t first, unsigned stored,
                   bool isSigned, const Narrowing& narrowing, bool invert,
                   std::span<std::uint16_t> out) {
    for (std::size_t x = 0; x < out.size(); ++x) {
        const auto v = static_cast<std::uint16_t>(
            (StoredValue32(words, first + x, stored, isSigned) - narrowing.minimum) >>
            narrowing.shift);
        out[x] = invert ? static_cast<std::uint16_t>(0xFFFF - v) : v;
    }
}

}  // namespace engine::file
