// Contrast stretch of 16-bit data to 0 … 65535: linear or square root, optionally after cutting a
// percentage off both ends of the occupied range. Shared by OptimizeBuffer and OptimizeImage.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/PixelView.h"

namespace contrast {

struct RangeState {
    std::uint16_t min = 65535;
    std::uint16_t max = 0;
    std::uint16_t lowLimit = 0;
    std::uint16_t highLimit = 65535;
};

// One pass over the data: max becomes the largest value not above the high limit, min the
// smallest not below the low limit (the two tests independent).
void ScanRange(const engine::PixelView& data, RangeState* state);

// The stretched value of v (already clamped to min … max, min < max), extended precision.
std::uint16_t StretchValue(std::uint16_t v, std::uint16_t min, std::uint16_t max, int method);

// Clamp and stretch every value: the plain per-value evaluation and the table-driven fast path.
void StretchReference(const engine::PixelView& data, std::uint16_t min, std::uint16_t max,
                      int method);
void Stretch(const engine::PixelView& data, std::uint16_t min, std::uint16_t max, int method);

// The whole optimisation. reportRange receives min and max after each scan. False when a limit
// falls outside 0 … 65535 or its arithmetic overflows (data already written stays written).
bool Optimize(const engine::PixelView& data, int limLow, int limHigh, int method,
              const std::function<void(std::uint16_t, std::uint16_t)>& reportRange);

}  // namespace contrast
