#include <new>
#include <vector>

#include "engine/Intensity.h"
#include "engine/processing/IntensityLevels.h"

int L_HistoEqualizeBitmap(BITMAPHANDLE* bitmap, unsigned flags) {
    engine::IntensityLevels levels;
    if (const int status = engine::IntensityLevelsOf(bitmap, &levels); status != SUCCESS) {
        return status;
    }
    if (flags != HISTOEQ_LUMINANCE && flags != HISTOEQ_GRAYLEVELS) return ERROR_INV_PARAMETER;
    std::vector<std::uint32_t> histogram, table;
    if (const int status = engine::LevelHistogram(bitmap, levels, &histogram); status != SUCCESS) {
        return status;
    }
    try {
        table.resize(levels.count);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    std::uint32_t first = 0;
    while (histogram[first] == 0) ++first;  // an image holds at least one pixel
    std::uint64_t total = 0;
    for (std::uint32_t count : histogram) total += count;
    const std::uint64_t below = histogram[first];
    if (below == total) return SUCCESS;

    // The lowest level present maps to 0, so the range is spread over the pixels above it. Empty
    // levels repeat the last value: deep grey holds far fewer levels than its table.
    std::uint64_t running = 0;
    std::uint32_t level = 0;
    for (std::uint32_t v = first; v < levels.count; ++v) {
        if (histogram[v] != 0) {
            running += histogram[v];
            level = engine::RoundedRatio((running - below) * levels.top, total - below);
        }
        table[v] = level;
    }
    return engine::ShiftByLuma(bitmap, table);
}
