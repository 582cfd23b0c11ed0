#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "engine/Intensity.h"
#include "engine/processing/IntensityLevels.h"

namespace {

constexpr int kFullChange = 1000;

// p + (v − p) × numerator / denominator, the product rounded half away from p, within 0 … top.
// A zero denominator is the infinite slope of the full change: a threshold at p.
std::uint32_t ContrastLevel(std::int64_t v, std::int64_t p, std::int64_t numerator,
                            std::int64_t denominator, std::int64_t top) {
    const std::int64_t diff = v - p;
    std::int64_t level = p;
    if (denominator == 0) {
        level = diff > 0 ? top : diff < 0 ? 0 : p;
    } else {
        const std::int64_t moved = (std::abs(diff) * numerator + denominator / 2) / denominator;
        level = diff < 0 ? p - moved : p + moved;
    }
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(level, 0, top));
}

}  // namespace

int L_HistoContrastBitmap(BITMAPHANDLE* bitmap, int change) {
    engine::IntensityLevels levels;
    if (const int status = engine::IntensityLevelsOf(bitmap, &levels); status != SUCCESS) {
        return status;
    }
    if (change < -kFullChange || change > kFullChange) return ERROR_INV_PARAMETER;
    if (change == 0) return SUCCESS;
    std::vector<std::uint32_t> histogram, table;
    if (const int status = engine::LevelHistogram(bitmap, levels, &histogram); status != SUCCESS) {
        return status;
    }
    try {
        table.resize(levels.count);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    std::uint64_t total = 0, sum = 0;
    for (std::uint32_t v = 0; v < levels.count; ++v) {
        total += histogram[v];
        sum += std::uint64_t{histogram[v]} * v;
    }
    const auto mean = static_cast<std::int64_t>(engine::RoundedRatio(sum, total));
    const std::int64_t numerator = change < 0 ? kFullChange + change : kFullChange;
    const std::int64_t denominator = change < 0 ? kFullChange : kFullChange - change;
    // Deep grey needs entries only for the samples present (the histogram counts them); every
    // other image maps colour channels, which its luma histogram does not count.
    for (std::uint32_t v = 0; v < levels.count; ++v) {
        if (!levels.deepGrey || histogram[v] != 0) {
            table[v] = ContrastLevel(v, mean, numerator, denominator, levels.top);
        }
    }
    return engine::ApplyLevelTable(bitmap, table);
}
