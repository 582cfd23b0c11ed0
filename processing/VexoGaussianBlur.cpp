#include "processing/VexoGaussianBlur.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "control/cvaxLumoraMain.h"

namespace vexo {

namespace {

// One step of the sum: product and addition in extended precision, the sum rounded to double.
inline double AddProduct(double sum, std::uint16_t sample, float weight) {
    return static_cast<double>(static_cast<long double>(sum) +
                               static_cast<long double>(sample) * static_cast<long double>(weight));
}

inline std::uint16_t TruncateClamped(double sum) {
    if (sum > 65535.0) sum = 65535.0;
    return static_cast<std::uint16_t>(sum);
}

// Exact evaluation of one output: samples(k) gives the clamped input of tap k.
template <class Samples>
std::uint16_t ExactTap(const BlurKernel& kernel, Samples&& samples) {
    double sum = 0.0;
    for (int k = -kernel.HalfWidth; k <= kernel.HalfWidth; ++k) {
        sum = AddProduct(sum, samples(k), kernel.Weight(k));
    }
    return TruncateClamped(sum);
}

// out[x] = trunc(Σ_t rows[t][x] × weights[t]) for the 2 × half + 1 taps, clamped at 65535; the
// weights are symmetric (weights[t] == weights[2 × half − t]) and the sums exact.
void BlurLinePlain(const std::uint16_t* const* rows, const double* weights, int half,
                   std::uint16_t* out, int from, int to) {
    const int last = 2 * half;
    for (int x = from; x < to; ++x) {
        double sum = rows[half][x] * weights[half];
        for (int t = 0; t < half; ++t) sum += (rows[t][x] + rows[last - t][x]) * weights[t];
        out[x] = static_cast<std::uint16_t>(std::min(sum, 65535.0));
    }
}

__attribute__((target("avx2,fma"))) inline __m256i LoadWide8(const std::uint16_t* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Eight samples (as 32-bit integers) times a weight added to two accumulators of four lanes.
__attribute__((target("avx2,fma"))) inline void MulAdd8(__m256i samples, __m256d weight,
                                                        __m256d& low, __m256d& high) {
    low = _mm256_fmadd_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(samples)), weight, low);
    high = _mm256_fmadd_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(samples, 1)), weight, high);
}

__attribute__((target("avx2,fma"))) inline __m128i Truncate8(__m256d low, __m256d high) {
    const __m256d top = _mm256_set1_pd(65535.0);
    const __m128i a = _mm256_cvttpd_epi32(_mm256_min_pd(low, top));
    const __m128i b = _mm256_cvttpd_epi32(_mm256_min_pd(high, top));
    return _mm_packus_epi32(a, b);
}

// Sixteen outputs per step in four independent accumulators; symmetric taps added as integers.
__attribute__((target("avx2,fma"))) void BlurLineAvx2(const std::uint16_t* const* rows,
                                                      const double* weights, int half,
                                                      std::uint16_t* out, int from, int to) {
    const int last = 2 * half;
    int x = from;
    for (; x + 16 <= to; x += 16) {
        __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
        const __m256d centre = _mm256_set1_pd(weights[half]);
        MulAdd8(LoadWide8(rows[half] + x), centre, a0, a1);
        MulAdd8(LoadWide8(rows[half] + x + 8), centre, a2, a3);
        for (int t = 0; t < half; ++t) {
            const __m256d weight = _mm256_set1_pd(weights[t]);
            const std::uint16_t* left = rows[t] + x;
            const std::uint16_t* right = rows[last - t] + x;
            MulAdd8(_mm256_add_epi32(LoadWide8(left), LoadWide8(right)), weight, a0, a1);
            MulAdd8(_mm256_add_epi32(LoadWide8(left + 8), LoadWide8(right + 8)), weight, a2, a3);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), Truncate8(a0, a1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 8), Truncate8(a2, a3));
    }
    BlurLinePlain(rows, weights, half, out, x, to);
}

using BlurLineFn = void (*)(const std::uint16_t* const*, const double*, int, std::uint16_t*, int,
                            int);

bool HasAvx2Fma() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }

}  // namespace

// Why the fast path needs no rounding margin: every weight is a float, so a multiple of 2^-E
// for the finest binary place E among them, and every sample an integer; every product, partial
// sum and total of the blur is then a multiple of 2^-E, and below 2^16 while the weights' sum
// stays below 65536 / 65535. With 16 + E <= 53 bits each such value is a double, so every
// addition is exact in double as in extended precision, in any order or grouping: the fast path
// may fold symmetric taps and fuse multiply-adds and still give the reference's sums to the bit.
// Gaussians of a deviation of about 0.25 and more qualify (E is 37 at most); narrower ones, whose
// tails hold weights far below one level, are left to the reference.
bool SumsExactInDouble(const BlurKernel& kernel) {
    int finest = 0;
    long double total = 0;
    for (int k = -kernel.HalfWidth; k <= kernel.HalfWidth; ++k) {
        const float weight = kernel.Weight(k);
        if (!std::isfinite(weight) || weight < 0 || weight != kernel.Weight(-k)) return false;
        if (weight == 0) continue;
        int exponent = 0;
        std::frexp(weight, &exponent);  // weight = m × 2^exponent, m of 24 bits in [0.5, 1)
        finest = std::max(finest, 24 - exponent);
        total += weight;
    }
    return finest <= 37 && 65535 * total < 65536;
}

BlurKernel BuildBlurKernel(double radius, double dataMax, double granularity) {
    BlurKernel kernel;
    constexpr int kMax = BlurKernel::kMaxHalfWidth;
    for (int j = -kMax; j <= kMax; ++j) {
        const double t = j / radius;
        kernel.Weight(j) = static_cast<float>(std::exp(-(static_cast<long double>(t) * t) / 2));
    }
    double sum = 0.0;
    for (int j = -kMax; j <= kMax; ++j) {
        sum = static_cast<double>(static_cast<long double>(sum) + kernel.Weight(j));
    }
    for (int j = -kMax; j <= kMax; ++j) {
        kernel.Weight(j) = static_cast<float>(static_cast<long double>(kernel.Weight(j)) / sum);
    }
    int half = kMax;
    double dropped = 0.0;
    const double cutoff = granularity / (2.0 * dataMax);
    while (dropped < cutoff && half > 1) {
        dropped =
            static_cast<double>(static_cast<long double>(dropped) + 2.0L * kernel.Weight(half));
        --half;
    }
    kernel.HalfWidth = static_cast<std::uint8_t>(half);
    sum = 0.0;
    for (int j = -half; j <= half; ++j) {
        sum = static_cast<double>(static_cast<long double>(sum) + kernel.Weight(j));
    }
    for (int j = -half; j <= half; ++j) {
        kernel.Weight(j) = static_cast<float>(static_cast<long double>(kernel.Weight(j)) / sum);
    }
    return kernel;
}

void ApplyBlurKernelReference(const engine::PixelView& image, const BlurKernel& kernel) {
    const int width = image.width, height = image.height;
    if (width <= 0 || height <= 0) return;
    const auto at = [width](int y, int x) { return static_cast<std::size_t>(y) * width + x; };
    std::vector<std::uint16_t> a(static_cast<std::size_t>(width) * height);
    std::vector<std::uint16_t> b(a.size());
    for (int y = 0; y < height; ++y) std::copy_n(image.Row16(y), width, &a[at(y, 0)]);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            b[at(y, x)] =
                ExactTap(kernel, [&](int k) { return a[at(y, std::clamp(x - k, 0, width - 1))]; });
        }
    }
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            a[at(y, x)] =
                ExactTap(kernel, [&](int k) { return b[at(std::clamp(y - k, 0, height - 1), x)]; });
        }
    }
    for (int y = 0; y < height; ++y) std::copy_n(&a[at(y, 0)], width, image.Row16(y));
}

// Each row of B is made when the vertical pass first needs it and kept in a ring of as many
// rows as the kernel has taps: the vertical pass overwrites row y of the image only after every
// row of B that reads it exists, and B never leaves the cache.
void ApplyBlurKernel(const engine::PixelView& image, const BlurKernel& kernel) {
    const int width = image.width, height = image.height;
    if (width <= 0 || height <= 0) return;
    if (!SumsExactInDouble(kernel)) {
        ApplyBlurKernelReference(image, kernel);
        return;
    }
    const int half = kernel.HalfWidth, taps = kernel.Taps();
    const BlurLineFn blurLine = HasAvx2Fma() ? BlurLineAvx2 : BlurLinePlain;
    std::vector<double> weights(taps);
    for (int t = 0; t < taps; ++t) weights[t] = kernel.Weight(t - half);
    const int ringRows = std::min(taps, height);
    std::vector<std::uint16_t> ring(static_cast<std::size_t>(ringRows) * width);
    std::vector<std::uint16_t> padded(static_cast<std::size_t>(width) + 2 * half);
    std::vector<const std::uint16_t*> rows(taps);
    const auto ringRow = [&](int y) {
        return &ring[static_cast<std::size_t>(y % ringRows) * width];
    };

    int made = 0;  // rows of B made so far
    for (int y = 0; y < height; ++y) {
        // Horizontal: tap k reads column x − k, i.e. padded[x + half − k].
        for (; made < height && made <= y + half; ++made) {
            const std::uint16_t* in = image.Row16(made);
            std::fill_n(padded.begin(), half, in[0]);
            std::copy_n(in, width, padded.begin() + half);
            std::fill_n(padded.begin() + half + width, half, in[width - 1]);
            for (int t = 0; t < taps; ++t) rows[t] = padded.data() + (2 * half - t);
            blurLine(rows.data(), weights.data(), half, ringRow(made), 0, width);
        }
        // Vertical: tap k reads row y − k of B.
        for (int t = 0; t < taps; ++t) rows[t] = ringRow(std::clamp(y - (t - half), 0, height - 1));
        blurLine(rows.data(), weights.data(), half, image.Row16(y), 0, width);
    }
}

}  // namespace vexo

HRESULT TaxLumora::GaussianBlur(DOUBLE iRadius, SHORT* Value) {
    return SafeCall([&] {
        *Value = 0;
        if (CurrentBitmap.BitsPerPixel != 16) return;
        InnerHandler(
            *Value,
            [&] {
                engine::PixelView image;
                // A zero or non-finite deviation defines no Gaussian; nothing is changed then.
                if (!engine::AccessPixels16(&CurrentBitmap, &image) || !std::isfinite(iRadius) ||
                    iRadius == 0.0) {
                    *Value = -1;
                    return;
                }
                vexo::ApplyBlurKernel(image, vexo::BuildBlurKernel(iRadius, 255.0, 1.0));
                RefreshPaintPalette(false);
                *Value = 1;
            },
            LogCaughtError("GaussianBlur"));
    });
}
