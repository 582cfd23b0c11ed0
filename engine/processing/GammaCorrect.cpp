#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "engine/Intensity.h"
#include "engine/Kernel.h"
#include "engine/processing/IntensityLevels.h"

int L_GammaCorrectBitmap(BITMAPHANDLE* bitmap, unsigned gamma) {
    engine::IntensityLevels levels;
    if (const int status = engine::IntensityLevelsOf(bitmap, &levels); status != SUCCESS) {
        return status;
    }
    if (gamma == 0) return ERROR_INV_PARAMETER;
    if (gamma == 100) return SUCCESS;
    // A power per level is the costly part of a 65536-entry table, and sensor data uses a few
    // thousand levels: deep grey computes up to its highest sample; the levels above occur nowhere.
    std::uint32_t last = levels.top;
    if (levels.deepGrey) {
        int low = 0, high = 0;
        if (const int status = L_GetMinMaxVal(bitmap, &low, &high); status != SUCCESS) {
            return status;
        }
        last = std::min(last, static_cast<std::uint32_t>(high));
    }
    std::vector<std::uint32_t> table;
    try {
        table.assign(levels.count, levels.top);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    const double exponent = 100.0 / gamma;
    const double top = levels.top;
    for (std::uint32_t v = 0; v <= last; ++v) {
        table[v] = static_cast<std::uint32_t>(std::lround(top * std::pow(v / top, exponent)));
    }
    return engine::ApplyLevelTable(bitmap, table);
}
