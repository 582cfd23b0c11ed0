// OptimizeBuffer and OptimizeImage.
#include "processing/ContrastOptimisation.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "control/cvaxLumoraMain.h"
#include "engine/Display.h"
#include "engine/File.h"
#include "io/RawFrame.h"

namespace contrast {

namespace {

// Branch-free form of: if v > max and v <= high then max := v (same for min).
inline void ScanValue(std::uint16_t v, std::uint16_t low, std::uint16_t high, std::uint16_t& min,
                      std::uint16_t& max) {
    max = std::max<std::uint16_t>(max, v <= high ? v : 0);
    min = std::min<std::uint16_t>(min, v >= low ? v : 65535);
}

void ScanRangePlain(const engine::PixelView& data, RangeState* state) {
    for (int y = 0; y < data.height; ++y) {
        const std::uint16_t* row = data.Row16(y);
        for (int x = 0; x < data.width; ++x)
            ScanValue(row[x], state->lowLimit, state->highLimit, state->min, state->max);
    }
}

// Sixteen values per step: the baseline instruction set has no unsigned 16-bit min and max.
__attribute__((target("avx2"))) void ScanRangeAvx2(const engine::PixelView& data,
                                                   RangeState* state) {
    const __m256i low = _mm256_set1_epi16(static_cast<short>(state->lowLimit));
    const __m256i high = _mm256_set1_epi16(static_cast<short>(state->highLimit));
    __m256i min = _mm256_set1_epi16(static_cast<short>(state->min));
    __m256i max = _mm256_set1_epi16(static_cast<short>(state->max));
    for (int y = 0; y < data.height; ++y) {
        const std::uint16_t* row = data.Row16(y);
        int x = 0;
        for (; x + 16 <= data.width; x += 16) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x));
            const __m256i notAbove = _mm256_cmpeq_epi16(_mm256_min_epu16(v, high), v);
            const __m256i notBelow = _mm256_cmpeq_epi16(_mm256_max_epu16(v, low), v);
            max = _mm256_max_epu16(max, _mm256_and_si256(v, notAbove));
            min = _mm256_min_epu16(
                min, _mm256_or_si256(v, _mm256_xor_si256(notBelow, _mm256_set1_epi8(-1))));
        }
        for (; x < data.width; ++x)
            ScanValue(row[x], state->lowLimit, state->highLimit, state->min, state->max);
    }
    alignas(32) std::uint16_t mins[16], maxs[16];
    _mm256_store_si256(reinterpret_cast<__m256i*>(mins), min);
    _mm256_store_si256(reinterpret_cast<__m256i*>(maxs), max);
    // The lanes started from the incoming min and max, so folding them in changes nothing else.
    for (int lane = 0; lane < 16; ++lane) {
        state->min = std::min(state->min, mins[lane]);
        state->max = std::max(state->max, maxs[lane]);
    }
}

}  // namespace

void ScanRange(const engine::PixelView& data, RangeState* state) {
    if (__builtin_cpu_supports("avx2")) {
        ScanRangeAvx2(data, state);
    } else {
        ScanRangePlain(data, state);
    }
}

namespace {

// The map of one range with its constant parts evaluated once; the same operations, in the same
// precision, as evaluating everything per value.
class StretchCurve {
public:
    StretchCurve(std::uint16_t min, std::uint16_t max, int method)
        : min_(min),
          method_(method),
          range_(static_cast<long double>(max - min)),
          quotient_(65535.0L / range_),
          rootOfRange_(std::sqrt(range_)) {}

    std::uint16_t operator()(std::uint16_t v) const {
        long double result;
        if (method_ == 0) {
            result = quotient_ * static_cast<long double>(v - min_);
        } else if (v == min_) {
            // The minimum maps as if it lay one level above it, not to 0.
            result = rootOfRange_ * quotient_;
        } else {
            const long double t = std::sqrt(static_cast<long double>(v - min_)) * quotient_;
            result = rootOfRange_ * t;
        }
        // The conversion truncates toward zero like trunc, without a library call.
        return static_cast<std::uint16_t>(static_cast<std::int32_t>(result));
    }

private:
    std::uint16_t min_;
    int method_;
    long double range_, quotient_, rootOfRange_;
};

}  // namespace

std::uint16_t StretchValue(std::uint16_t v, std::uint16_t min, std::uint16_t max, int method) {
    return StretchCurve(min, max, method)(v);
}

void StretchReference(const engine::PixelView& data, std::uint16_t min, std::uint16_t max,
                      int method) {
    for (int y = 0; y < data.height; ++y) {
        std::uint16_t* row = data.Row16(y);
        for (int x = 0; x < data.width; ++x) {
            std::uint16_t v = row[x];
            if (v < min) v = min;
            if (v > max) v = max;
            row[x] = StretchValue(v, min, max, method);
        }
    }
}

// The result depends on the value alone: one table over all 65536 inputs, clamping included.
void Stretch(const engine::PixelView& data, std::uint16_t min, std::uint16_t max, int method) {
    const StretchCurve curve(min, max, method);
    const auto table = std::make_unique_for_overwrite<std::uint16_t[]>(65536);
    for (unsigned v = min; v <= max; ++v) table[v] = curve(static_cast<std::uint16_t>(v));
    std::fill(table.get(), table.get() + min, table[min]);
    std::fill(table.get() + max + 1, table.get() + 65536, table[max]);
    const std::uint16_t* lookup = table.get();
    for (int y = 0; y < data.height; ++y) {
        std::uint16_t* row = data.Row16(y);
        for (int x = 0; x < data.width; ++x) row[x] = lookup[row[x]];
    }
}

bool Optimize(const engine::PixelView& data, int limLow, int limHigh, int method,
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
bool OptimizeGuarded(const engine::PixelView& data, int limLow, int limHigh, int method,
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
        engine::PixelView data;
        if (!empty) {
            data =
                engine::Gray16Pixels(reinterpret_cast<void*>(static_cast<std::uintptr_t>(pBuffer)),
                                     Width, Height, static_cast<std::ptrdiff_t>(Width) * 2);
        }
        *Value = OptimizeGuarded(data, LimLow, LimHigh, Method,
                                 [&](std::uint16_t min, std::uint16_t max) {
                                     FireOnLog(RangeText("OptimizeBuffer", min, max));
                                 })
                     ? 1
                     : 0;
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
        engine::PixelView data;
        if (Width != 0 && Height != 0) {
            if (Width < 0 || Height < 0 || !engine::AccessPixels16(&CurrentBitmap, &data) ||
                Width > data.width || Height > data.height) {
                return;
            }
            data = data.Corner(Width, Height);
        }
        if (!OptimizeGuarded(data, LimLow, LimHigh, Method,
                             [&](std::uint16_t min, std::uint16_t max) {
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
