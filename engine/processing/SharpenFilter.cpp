#include <algorithm>
#include <cstddef>

#include "engine/Filters.h"
#include "engine/processing/FilterKernels.h"

namespace {

using engine::filters::Plane;
using engine::filters::SourceRows;

constexpr int kMaxChange = 1000;

// v + change × (16 v − S) / 16000 rounded half up, S the binomial sum, as one quotient
// floor((16000 v + change (16 v − S) + 8000) / 16000). |16 v − S| ≤ 15 × 65535, so the numerator
// stays inside 32 bits and the loop vectorises.
[[gnu::always_inline]] inline unsigned SharpenSample(int v, int sum, int change, unsigned max) {
    const int numerator = 16000 * v + change * (16 * v - sum) + 8000;
    return std::min(static_cast<unsigned>(std::max(numerator, 0)) / 16000u, max);
}

// One row of samples; neighbouring pixels lie `step` samples apart.
template <class T>
[[gnu::always_inline]] inline void SharpenRow(const T* __restrict above, const T* __restrict row,
                                              const T* __restrict below, T* __restrict out,
                                              std::ptrdiff_t samples, std::ptrdiff_t step,
                                              int change, unsigned max) {
    for (std::ptrdiff_t i = 0; i < samples; ++i) {
        const int sum = above[i - step] + 2 * above[i] + above[i + step] + 2 * row[i - step] +
                        4 * row[i] + 2 * row[i + step] + below[i - step] + 2 * below[i] +
                        below[i + step];
        out[i] = static_cast<T>(SharpenSample(row[i], sum, change, max));
    }
}

template <class T>
void SharpenRowBaseline(const T* above, const T* row, const T* below, T* out,
                        std::ptrdiff_t samples, std::ptrdiff_t step, int change, unsigned max) {
    SharpenRow(above, row, below, out, samples, step, change, max);
}

template <class T>
__attribute__((target("avx2"))) void SharpenRowAvx2(const T* above, const T* row, const T* below,
                                                    T* out, std::ptrdiff_t samples,
                                                    std::ptrdiff_t step, int change, unsigned max) {
    SharpenRow(above, row, below, out, samples, step, change, max);
}

template <class T>
void FastSharpen(const Plane<T>& plane, int change) {
    const auto rowKernel =
        engine::filters::CpuHasAvx2() ? &SharpenRowAvx2<T> : &SharpenRowBaseline<T>;
    engine::filters::FilterRows(plane, 1, [&](const SourceRows<T>& source, int y, T* out) {
        rowKernel(source.Row(y - 1), source.Row(y), source.Row(y + 1), out, plane.RowSamples(),
                  plane.channels, change, plane.max);
    });
}

template <class T>
void PlainSharpen(const Plane<T>& plane, int change) {
    engine::filters::ReferencePerPixel(plane, [&](const auto& at, int, int) {
        constexpr int kBinomial[3] = {1, 2, 1};
        int sum = 0;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                sum += kBinomial[dx + 1] * kBinomial[dy + 1] * static_cast<int>(at(dx, dy));
            }
        }
        return SharpenSample(static_cast<int>(at(0, 0)), sum, change, plane.max);
    });
}

int Sharpen(BITMAPHANDLE* bitmap, int change, bool reference) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (change < -kMaxChange || change > kMaxChange) return ERROR_INV_PARAMETER;
    if (change == 0) return SUCCESS;
    return engine::filters::WithSamplePlane(bitmap, view, [&](const auto& plane) {
        if (reference) {
            PlainSharpen(plane, change);
        } else {
            FastSharpen(plane, change);
        }
        return SUCCESS;
    });
}

}  // namespace

int L_SharpenBitmap(BITMAPHANDLE* bitmap, int change) { return Sharpen(bitmap, change, false); }

int engine::SharpenReference(BITMAPHANDLE* bitmap, int change) {
    return Sharpen(bitmap, change, true);
}
