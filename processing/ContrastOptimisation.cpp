// OptimizeBuffer and OptimizeImage.
#include "processing/ContrastOptimisation.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "control/cvaxLumoraMain.h"
#include "engine/Display.h"
#include "engine/File.h"
#include "io/RawFrame.h"

namespace contrast {

void ScanRange(const Gray16Image& data, RangeState* state) {
    std::uint16_t min = state->min, max = state->max;
    const std::uint16_t low = state->lowLimit, high = state->highLimit;
    for (int y = 0; y < data.height; ++y) {
        const std::uint16_t* row = data.Row(y);
        for (int x = 0; x < data.width; ++x) {
            // Branch-free form of: if v > max and v <= high then max := v (same for min).
            const std::uint16_t v = row[x];
            max = std::max<std::uint16_t>(max, v <= high ? v : 0);
            min = std::min<std::uint16_t>(min, v >= low ? v : 65535);
        }
    }
    state->min = min;
    state->max = max;
}

std::uint16_t StretchValue(std::uint16_t v, std::uint16_t min, std::uint16_t max, int method) {
    const long double range = static_cast<long double>(max - min);
    const long double quotient = 65535.0L / range;
    long double result;
    if (method == 0) {
        result = quotient * static_cast<long double>(v - min);
    } else if (v == min) {
        // The minimum maps as if it lay one level above it, not to 0.
        result = std::sqrt(range) * quotient;
    } else {
        const long double t = std::sqrt(static_cast<long double>(v - min)) * quotient;
        result = std::sqrt(range) * t;
    }
    return static_cast<std::uint16_t>(std::trunc(result));
}

void StretchReference(const Gray16Image& data, std::uint16_t min, std::uint16_t max, int method) {
    for (int y = 0; y < data.height; ++y) {
        std::uint16_t* row = data.Row(y);
        for (int x = 0; x < data.width; ++x) {
            std::uint16_t v = row[x];
            if (v < min) v = min;
            if (v > max) v = max;
            row[x] = StretchValue(v, min, max, method);
        }
    }
}

// The result depends on the value alone: one table over all 65536 inputs, clamping included.
void Stretch(const Gray16Image& data, std::uint16_t min, std::uint16_t max, int method) {
    std::vector<std::uint16_t> table(65536);
    for (unsigned v = min; v <= max; ++v) {
        table[v] = StretchValue(static_cast<std::uint16_t>(v), min, max, method);
    }
    for (unsigned v = 0; v < min; ++v) table[v] = table[min];
    for (unsigned v = max + 1u; v < 65536; ++v) table[v] = table[max];
    for (int y = 0; y < data.height; ++y) {
        std::uint16_t* row = data.Row(y);
        for (int x = 0; x < data.width; ++x) row[x] = table[row[x]];
    }
}

bool Optimize(const Gray16Image& data, int limLow, int limHigh, int method,
              const std::function<void(std::uint16_t, std::uint16_t)>& reportRange) {
    RangeState state;
    ScanRange(data, &state);
    reportRange(state.min, state.max);
    if (limLow > 0 || limHigh > 0) {
        try {
            const std::int32_t span = CheckedSub<std::int32_t>(state.max, state.min);
            const std::int32_t low =
                CheckedAdd<std::int32_t>(state.min, CheckedMul<std::int32_t>(span, limLow) / 100);
            const std::int32_t high =
                CheckedSub<std::int32_t>(state.max, CheckedMul<std::int32_t>(span, limHigh) / 100);
            if (low < 0 || low > 65535 || high < 0 || high > 65535) return false;
            state = RangeState{65535, 0, static_cast<std::uint16_t>(low),
                               static_cast<std::uint16_t>(high)};
        } catch (const OverflowError&) {
            return false;
        }
        ScanRange(data, &state);
        reportRange(state.min, state.max);
    }
    if (state.min < state.max) Stretch(data, state.min, state.max, method);
    return true;
}

}  // namespace contrast

namespace {

std::string RangeText(const char* member, std::uint16_t min, std::uint16_t max) {
    return std::string("TaxLumora.") + member + ", Range : " + std::to_string(min) + " - " +
           std::to_string(max);
}

// Any error during the work (an event handler's included) is the members' failure 0.
bool OptimizeGuarded(const Gray16Image& data, int limLow, int limHigh, int method,
                     const std::function<void(std::uint16_t, std::uint16_t)>& reportRange) {
    try {
        return contrast::Optimize(data, limLow, limHigh, method, reportRange);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

// The address is used whole (a pointer does not fit in 32 bits here). Negative sizes, a null
// address with data to read and data running past a known buffer's end are refused instead of
// being read.
HRESULT TaxLumora::OptimizeBuffer(ULONGLONG pBuffer, LONG Width, LONG Height, LONG LimLow,
                                  LONG LimHigh, LONG Method, ULONGLONG /*uFlags*/, LONG* Value) {
    return SafeCall([&] {
        *Value = 0;
        if (Width < 0 || Height < 0) return;
        const bool empty = Width == 0 || Height == 0;
        if (!empty && (pBuffer == 0 || std::int64_t{Width} * Height > INT32_MAX)) return;
        // Refused with the member's own failure code, before any value is read or written.
        const std::uint64_t bytes = raw_frame::FrameBytes(Height, 2 * std::int64_t{Width});
        if (!raw_frame::FrameFitsKnownRegion("axLumora.OptimizeBuffer", "Buffer", pBuffer, bytes))
            return;
        Gray16Image data;
        if (!empty) {
            data = Gray16Image{reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(pBuffer)),
                               Width, Height, static_cast<std::ptrdiff_t>(Width) * 2};
        }
        *Value = OptimizeGuarded(data, LimLow, LimHigh, Method, [&](std::uint16_t min, std::uint16_t max) {
            FireOnLog(RangeText("OptimizeBuffer", min, max));
        }) ? 1 : 0;
    });
}

// Works on 16-bit images only, and only inside them: a region larger than the bitmap or another
// depth is refused with 0 rather than read or written past the image.
HRESULT TaxLumora::OptimizeImage(BSTR FnOut, LONG Width, LONG Height, LONG LimLow, LONG LimHigh,
                                 LONG Method, ULONGLONG /*uFlags*/, LONG* Value) {
    return SafeCall([&] {
        *Value = 0;
        if (Width == 0) Width = CurrentBitmap.Width;
        if (Height == 0) Height = CurrentBitmap.Height;
        Gray16Image data;
        if (Width != 0 && Height != 0 && !Gray16View(CurrentBitmap, Width, Height, &data)) return;
        if (!OptimizeGuarded(data, LimLow, LimHigh, Method, [&](std::uint16_t min, std::uint16_t max) {
                FireOnLog(RangeText("OptimizeImage", min, max));
            })) {
            return;
        }
        L_ResetFileWindow(&CurrentBitmap);
        ImageReplaced();
        const std::string fileName = BstrToUtf8(FnOut);
        if (!fileName.empty()) {
            L_SaveBitmap(fileName.c_str(), &CurrentBitmap, FILE_DICOM_GRAY, 16, -1, nullptr);
        }
        *Value = 1;
    });
}
