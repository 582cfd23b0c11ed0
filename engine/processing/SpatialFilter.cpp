#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>

#include "engine/Filters.h"
#include "engine/processing/FilterKernels.h"

namespace {

using engine::filters::Plane;
using engine::filters::SourceRows;

// What becomes of the weighted sum S.
enum class Post {
    Relief,     // mid + S
    Clamp,      // S, negative values 0
    Absolute,   // |S|
    Magnitude,  // |S| + |S of the second kernel|
    Mean9,      // S / 9 rounded half up (S ≥ 0)
    Mean16,     // S / 16 rounded half up (S ≥ 0)
};

using Weights = std::array<int, 9>;  // rows top to bottom, left to right

struct Filter {
    Weights weights;
    Post post;
    Weights second{};  // Magnitude only
};

constexpr Weights kSobelHorizontal{-1, -2, -1, 0, 0, 0, 1, 2, 1};
constexpr Weights kSobelVertical{-1, 0, 1, -2, 0, 2, -1, 0, 1};
constexpr Weights kPrewittHorizontal{-1, -1, -1, 0, 0, 0, 1, 1, 1};
constexpr Weights kPrewittVertical{-1, 0, 1, -1, 0, 1, -1, 0, 1};

// Indexed by the SPATIAL_* numbers of engine/Filters.h.
constexpr std::array<Filter, SPATIAL_FILTER_COUNT> kFilters{{
    {{0, -1, 0, 0, 0, 0, 0, 1, 0}, Post::Relief},
    {{0, 0, -1, 0, 0, 0, 1, 0, 0}, Post::Relief},
    {{0, 0, 0, 1, 0, -1, 0, 0, 0}, Post::Relief},
    {{1, 0, 0, 0, 0, 0, 0, 0, -1}, Post::Relief},
    {{0, 1, 0, 0, 0, 0, 0, -1, 0}, Post::Relief},
    {{0, 0, 1, 0, 0, 0, -1, 0, 0}, Post::Relief},
    {{0, 0, 0, -1, 0, 1, 0, 0, 0}, Post::Relief},
    {{-1, 0, 0, 0, 0, 0, 0, 0, 1}, Post::Relief},
    {{1, 1, 1, 1, -2, 1, -1, -1, -1}, Post::Clamp},
    {{1, 1, 1, -1, -2, 1, -1, -1, 1}, Post::Clamp},
    {{-1, 1, 1, -1, -2, 1, -1, 1, 1}, Post::Clamp},
    {{-1, -1, 1, -1, -2, 1, 1, 1, 1}, Post::Clamp},
    {{-1, -1, -1, 1, -2, 1, 1, 1, 1}, Post::Clamp},
    {{1, -1, -1, 1, -2, -1, 1, 1, 1}, Post::Clamp},
    {{1, 1, -1, 1, -2, -1, 1, 1, -1}, Post::Clamp},
    {{1, 1, 1, 1, -2, -1, 1, -1, -1}, Post::Clamp},
    {{0, -1, 0, -1, 4, -1, 0, -1, 0}, Post::Clamp},
    {{-1, -1, -1, -1, 8, -1, -1, -1, -1}, Post::Clamp},
    {{-1, 0, -1, 0, 4, 0, -1, 0, -1}, Post::Clamp},
    {{1, -2, 1, -2, 4, -2, 1, -2, 1}, Post::Clamp},
    {kSobelHorizontal, Post::Absolute},
    {kSobelVertical, Post::Absolute},
    {kSobelHorizontal, Post::Magnitude, kSobelVertical},
    {kPrewittHorizontal, Post::Absolute},
    {kPrewittVertical, Post::Absolute},
    {kPrewittHorizontal, Post::Magnitude, kPrewittVertical},
    {{-1, -1, -1, 2, 2, 2, -1, -1, -1}, Post::Clamp},
    {{-1, 2, -1, -1, 2, -1, -1, 2, -1}, Post::Clamp},
    {{2, -1, -1, -1, 2, -1, -1, -1, 2}, Post::Clamp},
    {{-1, -1, 2, -1, 2, -1, 2, -1, -1}, Post::Clamp},
    {{0, 0, 0, -1, 1, 0, 0, 0, 0}, Post::Absolute},
    {{0, -1, 0, 0, 1, 0, 0, 0, 0}, Post::Absolute},
    {{-1, 0, 0, 0, 1, 0, 0, 0, 0}, Post::Absolute},
    {{0, -1, 0, -1, 5, -1, 0, -1, 0}, Post::Clamp},
    {{-1, -1, -1, -1, 9, -1, -1, -1, -1}, Post::Clamp},
    {{1, -2, 1, -2, 5, -2, 1, -2, 1}, Post::Clamp},
    {{1, 1, 1, 1, 1, 1, 1, 1, 1}, Post::Mean9},
    {{1, 2, 1, 2, 4, 2, 1, 2, 1}, Post::Mean16},
}};

// The output sample of sums s (and s2, Magnitude only); |S| ≤ 9 × 9 × 65535 fits in int.
template <Post post>
[[gnu::always_inline]] inline unsigned Finish(int s, int s2, unsigned max) {
    const int top = static_cast<int>(max);
    if constexpr (post == Post::Relief) {
        return static_cast<unsigned>(std::clamp(s + (top + 1) / 2, 0, top));
    } else if constexpr (post == Post::Clamp) {
        return static_cast<unsigned>(std::clamp(s, 0, top));
    } else if constexpr (post == Post::Absolute) {
        return static_cast<unsigned>(std::min(std::abs(s), top));
    } else if constexpr (post == Post::Magnitude) {
        return static_cast<unsigned>(std::min(std::abs(s) + std::abs(s2), top));
    } else if constexpr (post == Post::Mean9) {
        return static_cast<unsigned>(s + 4) / 9u;
    } else {
        return static_cast<unsigned>(s + 8) >> 4;
    }
}

template <Post post, class T>
[[gnu::always_inline]] inline void SpatialRow(const T* __restrict above, const T* __restrict row,
                                              const T* __restrict below, T* __restrict out,
                                              std::ptrdiff_t samples, std::ptrdiff_t step,
                                              const Filter& filter, unsigned max) {
    const Weights w = filter.weights, v = filter.second;
    for (std::ptrdiff_t i = 0; i < samples; ++i) {
        const int a0 = above[i - step], a1 = above[i], a2 = above[i + step];
        const int b0 = row[i - step], b1 = row[i], b2 = row[i + step];
        const int c0 = below[i - step], c1 = below[i], c2 = below[i + step];
        const int s = w[0] * a0 + w[1] * a1 + w[2] * a2 + w[3] * b0 + w[4] * b1 + w[5] * b2 +
                      w[6] * c0 + w[7] * c1 + w[8] * c2;
        int s2 = 0;
        if constexpr (post == Post::Magnitude) {
            s2 = v[0] * a0 + v[1] * a1 + v[2] * a2 + v[3] * b0 + v[4] * b1 + v[5] * b2 + v[6] * c0 +
                 v[7] * c1 + v[8] * c2;
        }
        out[i] = static_cast<T>(Finish<post>(s, s2, max));
    }
}

template <Post post, class T>
void SpatialRowBaseline(const T* above, const T* row, const T* below, T* out,
                        std::ptrdiff_t samples, std::ptrdiff_t step, const Filter& filter,
                        unsigned max) {
    SpatialRow<post>(above, row, below, out, samples, step, filter, max);
}

template <Post post, class T>
__attribute__((target("avx2"))) void SpatialRowAvx2(const T* above, const T* row, const T* below,
                                                    T* out, std::ptrdiff_t samples,
                                                    std::ptrdiff_t step, const Filter& filter,
                                                    unsigned max) {
    SpatialRow<post>(above, row, below, out, samples, step, filter, max);
}

template <Post post, class T>
void FastSpatial(const Plane<T>& plane, const Filter& filter) {
    const auto rowKernel =
        engine::filters::CpuHasAvx2() ? &SpatialRowAvx2<post, T> : &SpatialRowBaseline<post, T>;
    engine::filters::FilterRows(plane, 1, [&](const SourceRows<T>& source, int y, T* out) {
        rowKernel(source.Row(y - 1), source.Row(y), source.Row(y + 1), out, plane.RowSamples(),
                  plane.channels, filter, plane.max);
    });
}

template <class T>
void FastSpatial(const Plane<T>& plane, const Filter& filter) {
    switch (filter.post) {
        case Post::Relief: return FastSpatial<Post::Relief>(plane, filter);
        case Post::Clamp: return FastSpatial<Post::Clamp>(plane, filter);
        case Post::Absolute: return FastSpatial<Post::Absolute>(plane, filter);
        case Post::Magnitude: return FastSpatial<Post::Magnitude>(plane, filter);
        case Post::Mean9: return FastSpatial<Post::Mean9>(plane, filter);
        case Post::Mean16: return FastSpatial<Post::Mean16>(plane, filter);
    }
}

template <class T>
void PlainSpatial(const Plane<T>& plane, const Filter& filter) {
    engine::filters::ReferencePerPixel(plane, [&](const auto& at, int, int) -> unsigned {
        long long s = 0, s2 = 0;
        for (int k = 0; k < 9; ++k) {
            const long long sample = at(k % 3 - 1, k / 3 - 1);
            s += filter.weights[k] * sample;
            s2 += filter.second[k] * sample;
        }
        const long long max = plane.max;
        switch (filter.post) {
            case Post::Relief:
                return static_cast<unsigned>(std::clamp(s + (max + 1) / 2, 0LL, max));
            case Post::Clamp: return static_cast<unsigned>(std::clamp(s, 0LL, max));
            case Post::Absolute: return static_cast<unsigned>(std::min(std::llabs(s), max));
            case Post::Magnitude:
                return static_cast<unsigned>(std::min(std::llabs(s) + std::llabs(s2), max));
            case Post::Mean9: return static_cast<unsigned>((s + 4) / 9);
            case Post::Mean16: return static_cast<unsigned>((s + 8) / 16);
        }
        return 0;
    });
}

int SpatialFilter(BITMAPHANDLE* bitmap, int number, bool reference) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (number < 0 || number >= SPATIAL_FILTER_COUNT) return ERROR_INV_PARAMETER;
    const Filter& filter = kFilters[static_cast<std::size_t>(number)];
    return engine::filters::WithSamplePlane(bitmap, view, [&](const auto& plane) {
        if (reference) {
            PlainSpatial(plane, filter);
        } else {
            FastSpatial(plane, filter);
        }
        return SUCCESS;
    });
}

}  // namespace

int L_SpatialFilterBitmap(BITMAPHANDLE* bitmap, int filter) {
    return SpatialFilter(bitmap, filter, false);
}

int engine::SpatialFilterReference(BITMAPHANDLE* bitmap, int filter) {
    return SpatialFilter(bitmap, filter, true);
}
