#include <cmath>

#include "engine/Processing.h"

int L_GetFunctionalLookupTable(std::uint32_t* lut, std::uint32_t lutLength, int start, int end,
                               int factor, unsigned flags) {
    if (lut == nullptr) return ERROR_INV_PARAMETER;
    if (start < 0 || end < start || static_cast<std::uint32_t>(end) >= lutLength) {
        return ERROR_INV_PARAMETER;
    }
    if (flags > FLT_LINEAR) return ERROR_INV_PARAMETER;
    const double from = lut[start];
    const double to = lut[end];
    const int span = end - start;
    if (span == 0) return SUCCESS;
    // Curves over t in 0 … 1 that run from 0 to 1; factor bends them (0: straight).
    const double bend = factor / 10.0;
    for (int i = start; i <= end; ++i) {
        const double t = static_cast<double>(i - start) / span;
        double shaped = t;
        if (flags == FLT_EXPONENTIAL && bend != 0.0) {
            shaped = std::expm1(bend * t) / std::expm1(bend);
        } else if (flags == FLT_LOGARITHMIC && bend > 0.0) {
            shaped = std::log1p(bend * t) / std::log1p(bend);
        }
        lut[i] = static_cast<std::uint32_t>(std::lround(from + (to - from) * shaped));
    }
    return SUCCESS;
}
