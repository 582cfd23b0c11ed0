#include <algorithm>
#include <new>
#include <vector>

#include "engine/Intensity.h"
#include "engine/Kernel.h"
#include "engine/kernel/PixelColor.h"
#include "engine/processing/IntensityLevels.h"

int L_StretchBitmapIntensity(BITMAPHANDLE* bitmap) {
    engine::IntensityLevels levels;
    if (const int status = engine::IntensityLevelsOf(bitmap, &levels); status != SUCCESS) {
        return status;
    }
    int low = 0, high = 0;
    if (const int status = L_GetMinMaxVal(bitmap, &low, &high); status != SUCCESS) return status;
    if (levels.format == engine::PixelFormat::Rgb555) {
        // The table runs over 8-bit levels; RGB555 reports its 5-bit channels.
        low = static_cast<int>(engine::Expand5To8(static_cast<std::uint32_t>(low)));
        high = static_cast<int>(engine::Expand5To8(static_cast<std::uint32_t>(high)));
    }
    // 12-bit words above 4095 read as 4095, as everywhere else in the engine.
    high = std::min(high, static_cast<int>(levels.count) - 1);
    low = std::min(low, high);
    if (low == high) return SUCCESS;

    std::vector<std::uint32_t> table;
    try {
        table.assign(levels.count, levels.top);  // above the range: the top
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    std::fill_n(table.begin(), low, 0u);
    const auto span = static_cast<std::uint64_t>(high - low);
    for (int v = low; v <= high; ++v) {
        table[v] = engine::RoundedRatio(static_cast<std::uint64_t>(v - low) * levels.top, span);
    }
    return engine::ApplyLevelTable(bitmap, table);
}
