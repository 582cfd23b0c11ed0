// The grey ramp of a palette depth, the palette that grey images of 1, 4 and 8 bits carry and
// that an image without a palette is read through.
#pragma once

#include <cstdint>

#include "engine/Bitmap.h"

namespace engine {

// Level of entry `index` of a ramp of `entries` entries (2^bits, so at least 2): index × 255 /
// (entries − 1), from black to white.
constexpr std::uint8_t GreyRampLevel(unsigned index, unsigned entries) {
    return static_cast<std::uint8_t>(index * 255u / (entries - 1));
}

// Writes the ramp's `entries` palette entries.
inline void FillGreyRamp(RGBQUAD* palette, unsigned entries) {
    for (unsigned i = 0; i < entries; ++i) {
        const std::uint8_t level = GreyRampLevel(i, entries);
        palette[i] = RGBQUAD{level, level, level, 0};
    }
}

}  // namespace engine
