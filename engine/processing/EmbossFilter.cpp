#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>

#include "engine/Filters.h"
#include "engine/processing/FilterKernels.h"

namespace {

using engine::filters::Plane;
using engine::filters::SourceRows;

// The light's direction as cos θ and sin θ in 1/4096; the quarter turns come out exact.
struct Light {
    std::int64_t cosine;
    std::int64_t sine;
};

Light LightFrom(unsigned direction) {
    const double angle = direction / 18000.0 * std::numbers::pi;
    return {std::llround(std::cos(angle) * 4096.0), std::llround(std::sin(angle) * 4096.0)};
}

// mid + depth (gy cos θ − gx sin θ) / 800, with cos and sin in 1/4096: one quotient by
// 800 × 4096, rounded half up.
inline unsigned Relief(std::int64_t gx, std::int64_t gy, const Light& light, unsigned depth,
                       unsigned max) {
    constexpr std::int64_t kDivisor = 800 * 4096;
    const std::int64_t numerator = depth * (gy * light.cosine - gx * light.sine);
    const std::int64_t level =
        (max + 1) / 2 + engine::filters::FloorDiv(numerator + kDivisor / 2, kDivisor);
    return static_cast<unsigned>(std::clamp<std::int64_t>(level, 0, max));
}

template <class T>
void FastEmboss(const Plane<T>& plane, const Light& light, unsigned depth) {
    const std::ptrdiff_t step = plane.channels, samples = plane.RowSamples();
    engine::filters::FilterRows(plane, 1, [&](const SourceRows<T>& source, int y, T* out) {
        const T* above = source.Row(y - 1);
        const T* row = source.Row(y);
        const T* below = source.Row(y + 1);
        for (std::ptrdiff_t i = 0; i < samples; ++i) {
            const std::int64_t gx = (above[i + step] + 2 * row[i + step] + below[i + step]) -
                                    (above[i - step] + 2 * row[i - step] + below[i - step]);
            const std::int64_t gy = (below[i - step] + 2 * below[i] + below[i + step]) -
                                    (above[i - step] + 2 * above[i] + above[i + step]);
            out[i] = static_cast<T>(Relief(gx, gy, light, depth, plane.max));
        }
    });
}

template <class T>
void PlainEmboss(const Plane<T>& plane, const Light& light, unsigned depth) {
    constexpr int kSobel[3] = {1, 2, 1};
    engine::filters::ReferencePerPixel(plane, [&](const auto& at, int, int) {
        std::int64_t gx = 0, gy = 0;
        for (int k = -1; k <= 1; ++k) {
            gx += kSobel[k + 1] * (static_cast<std::int64_t>(at(1, k)) - at(-1, k));
            gy += kSobel[k + 1] * (static_cast<std::int64_t>(at(k, 1)) - at(k, -1));
        }
        return Relief(gx, gy, light, depth, plane.max);
    });
}

int Emboss(BITMAPHANDLE* bitmap, unsigned direction, unsigned depth, bool reference) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (direction > EMBOSS_MAX_DIRECTION || depth > EMBOSS_MAX_DEPTH) return ERROR_INV_PARAMETER;
    const Light light = LightFrom(direction);
    return engine::filters::WithSamplePlane(bitmap, view, [&](const auto& plane) {
        if (reference) {
            PlainEmboss(plane, light, depth);
        } else {
            FastEmboss(plane, light, depth);
        }
        return SUCCESS;
    });
}

}  // namespace

int L_EmbossBitmap(BITMAPHANDLE* bitmap, unsigned direction, unsigned depth) {
    return Emboss(bitmap, direction, depth, false);
}

int engine::EmbossReference(BITMAPHANDLE* bitmap, unsigned direction, unsigned depth) {
    return Emboss(bitmap, direction, depth, true);
}
