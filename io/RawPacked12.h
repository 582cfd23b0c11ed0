// Packed 12-bit sensor frames: two pixels in three bytes, the high nibble of the middle byte
// belonging to the first pixel. Unpacked values are brought to the 16-bit range (× 16), less
// their dark level when a dark frame is given, clamped at zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace raw_packed12 {

enum class Path {
    Plain,  // one group at a time; the reference
    Fast,   // AVX2 where the processor has it, else Plain; the same bits
};

// Writes the 2 × groups pixels of `groups` consecutive groups to out. dark: the same groups of
// the dark frame, or null. Reads exactly 3 × groups bytes of each frame.
void UnpackGroups(const std::uint8_t* normal, const std::uint8_t* dark, std::uint16_t* out,
                  std::size_t groups, Path path = Path::Fast);

// One pixel: a frame value v (0 … 4095) less its dark value d becomes (v − d) × 16 when v > d,
// else 0; without a dark frame, v × 16.
constexpr std::uint16_t Level(unsigned normal, unsigned dark) {
    return static_cast<std::uint16_t>(normal > dark ? (normal - dark) << 4 : 0);
}

struct PixelPair {
    unsigned first, second;
};
constexpr PixelPair Unpack(const std::uint8_t* group) {
    return {group[0] | (unsigned{group[1]} >> 4) << 8, group[2] | (group[1] & 0x0Fu) << 8};
}

}  // namespace raw_packed12
