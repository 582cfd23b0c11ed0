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

// The fast sums use plain double additions. Every product is exact in double (16 × 24 bits), so
// each step differs from the extended-then-double step by at most one rounding of the running
// sum; over n taps of non-negative terms the two sums lie within n × 2^-51 × sum of each other.
// Where that band contains an integer the truncation is not decided and the exact evaluation
// runs instead. The margin below is eight times the bound.

// acc[x] = Σ_k rows(k)[x] × w[k] over the taps in ascending order, for x in 0 … n − 1.
// Rows are given as double (horizontal pass, shifted windows of one padded row) or as 16-bit
// samples (vertical pass, one row of B per tap). Each lane keeps the order of the sum.
struct TapRows {
    const double* const* asDouble = nullptr;
    const std::uint16_t* const* asSample = nullptr;
};

void AccumulatePlain(double* acc, const TapRows& rows, const double* weights, int taps, int n) {
    for (int x = 0; x < n; ++x) {
        double sum = 0.0;
        if (rows.asDouble) {
            for (int t = 0; t < taps; ++t) sum = sum + rows.asDouble[t][x] * weights[t];
        } else {
            for (int t = 0; t < taps; ++t) sum = sum + rows.asSample[t][x] * weights[t];
        }
        acc[x] = sum;
    }
}

__attribute__((target("avx2"))) inline __m256d LoadSamples4(const std::uint16_t* p) {
    const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm256_cvtepi32_pd(_mm_cvtepu16_epi32(words));
}

// Sixteen lanes at a time in registers; mul then add, never fused (fusing would not change the
// bits, the products being exact, but keeps the code obviously equal to the plain loop).
__attribute__((target("avx2"))) void AccumulateAvx2(double* acc, const TapRows& rows,
                                                    const double* weights, int taps, int n) {
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
        for (int t = 0; t < taps; ++t) {
            const __m256d w = _mm256_set1_pd(weights[t]);
            __m256d v0, v1, v2, v3;
            if (rows.asDouble) {
                const double* p = rows.asDouble[t] + x;
                v0 = _mm256_loadu_pd(p);
                v1 = _mm256_loadu_pd(p + 4);
                v2 = _mm256_loadu_pd(p + 8);
                v3 = _mm256_loadu_pd(p + 12);
            } else {
                const std::uint16_t* p = rows.asSample[t] + x;
                v0 = LoadSamples4(p);
                v1 = LoadSamples4(p + 4);
                v2 = LoadSamples4(p + 8);
                v3 = LoadSamples4(p + 12);
            }
            a0 = _mm256_add_pd(a0, _mm256_mul_pd(v0, w));
            a1 = _mm256_add_pd(a1, _mm256_mul_pd(v1, w));
            a2 = _mm256_add_pd(a2, _mm256_mul_pd(v2, w));
            a3 = _mm256_add_pd(a3, _mm256_mul_pd(v3, w));
        }
        _mm256_storeu_pd(acc + x, a0);
        _mm256_storeu_pd(acc + x + 4, a1);
        _mm256_storeu_pd(acc + x + 8, a2);
        _mm256_storeu_pd(acc + x + 12, a3);
    }
    if (x < n) {
        TapRows rest = rows;
        std::vector<const double*> shiftedD;
        std::vector<const std::uint16_t*> shiftedS;
        if (rows.asDouble) {
            for (int t = 0; t < taps; ++t) shiftedD.push_back(rows.asDouble[t] + x);
            rest.asDouble = shiftedD.data();
        } else {
            for (int t = 0; t < taps; ++t) shiftedS.push_back(rows.asSample[t] + x);
            rest.asSample = shiftedS.data();
        }
        AccumulatePlain(acc + x, rest, weights, taps, n - x);
    }
}

using AccumulateFn = void (*)(double*, const TapRows&, const double*, int, int);

// Truncates the sums that the band decides; marks the others (undecided[x] = 1) for the exact
// evaluation.
void FinalizePlain(const double* acc, std::uint16_t* out, std::uint8_t* undecided, int n,
                   double marginPerUnit) {
    for (int x = 0; x < n; ++x) {
        const double whole = std::floor(acc[x]);
        const double fraction = acc[x] - whole;
        const double margin = acc[x] * marginPerUnit;
        undecided[x] = fraction < margin || 1.0 - fraction <= margin;
        out[x] = static_cast<std::uint16_t>(std::min(whole, 65535.0));
    }
}

__attribute__((target("avx2"))) void FinalizeAvx2(const double* acc, std::uint16_t* out,
                                                  std::uint8_t* undecided, int n,
                                                  double marginPerUnit) {
    const __m256d perUnit = _mm256_set1_pd(marginPerUnit);
    const __m256d one = _mm256_set1_pd(1.0), top = _mm256_set1_pd(65535.0);
    int x = 0;
    for (; x + 4 <= n; x += 4) {
        const __m256d sum = _mm256_loadu_pd(acc + x);
        const __m256d whole = _mm256_floor_pd(sum);
        const __m256d fraction = _mm256_sub_pd(sum, whole);
        const __m256d margin = _mm256_mul_pd(sum, perUnit);
        const __m256d low = _mm256_cmp_pd(fraction, margin, _CMP_LT_OQ);
        const __m256d high = _mm256_cmp_pd(_mm256_sub_pd(one, fraction), margin, _CMP_LE_OQ);
        const int mask = _mm256_movemask_pd(_mm256_or_pd(low, high));
        const __m128i words = _mm256_cvttpd_epi32(_mm256_min_pd(whole, top));
        const __m128i packed = _mm_packus_epi32(words, words);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), packed);
        for (int lane = 0; lane < 4; ++lane) undecided[x + lane] = (mask >> lane) & 1;
    }
    FinalizePlain(acc + x, out + x, undecided + x, n - x, marginPerUnit);
}

using FinalizeFn = void (*)(const double*, std::uint16_t*, std::uint8_t*, int, double);

bool HasAvx2() { return __builtin_cpu_supports("avx2"); }

}  // namespace

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
        dropped = static_cast<double>(static_cast<long double>(dropped) + 2.0L * kernel.Weight(half));
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

void ApplyBlurKernelReference(const Gray16Image& image, const BlurKernel& kernel) {
    const int width = image.width, height = image.height;
    if (width <= 0 || height <= 0) return;
    const auto at = [width](int y, int x) { return static_cast<std::size_t>(y) * width + x; };
    std::vector<std::uint16_t> a(static_cast<std::size_t>(width) * height);
    std::vector<std::uint16_t> b(a.size());
    for (int y = 0; y < height; ++y) std::copy_n(image.Row(y), width, &a[at(y, 0)]);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            b[at(y, x)] = ExactTap(kernel, [&](int k) { return a[at(y, std::clamp(x - k, 0, width - 1))]; });
        }
    }
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            a[at(y, x)] = ExactTap(kernel, [&](int k) { return b[at(std::clamp(y - k, 0, height - 1), x)]; });
        }
    }
    for (int y = 0; y < height; ++y) std::copy_n(&a[at(y, 0)], width, image.Row(y));
}

void ApplyBlurKernel(const Gray16Image& image, const BlurKernel& kernel) {
    const int width = image.width, height = image.height;
    if (width <= 0 || height <= 0) return;
    const int half = kernel.HalfWidth, taps = kernel.Taps();
    const double marginPerUnit = taps * 0x1p-48;
    const AccumulateFn accumulate = HasAvx2() ? AccumulateAvx2 : AccumulatePlain;
    const FinalizeFn finalize = HasAvx2() ? FinalizeAvx2 : FinalizePlain;
    std::vector<std::uint8_t> undecided(width);

    std::vector<double> weights(taps);
    for (int t = 0; t < taps; ++t) weights[t] = kernel.Weight(t - half);
    std::vector<std::uint16_t> b(static_cast<std::size_t>(width) * height);
    std::vector<double> padded(static_cast<std::size_t>(width) + 2 * half);
    std::vector<double> acc(width);
    std::vector<const double*> shifted(taps);
    std::vector<const std::uint16_t*> rows(taps);
    const auto rowOfB = [&](int y) { return &b[static_cast<std::size_t>(y) * width]; };

    // Horizontal: tap k reads column x − k, i.e. padded[x + half − k].
    for (int t = 0; t < taps; ++t) shifted[t] = padded.data() + (2 * half - t);
    for (int y = 0; y < height; ++y) {
        const std::uint16_t* in = image.Row(y);
        for (int i = 0; i < width + 2 * half; ++i) padded[i] = in[std::clamp(i - half, 0, width - 1)];
        accumulate(acc.data(), TapRows{shifted.data(), nullptr}, weights.data(), taps, width);
        std::uint16_t* out = rowOfB(y);
        finalize(acc.data(), out, undecided.data(), width, marginPerUnit);
        for (int x = 0; x < width; ++x) {
            if (!undecided[x]) continue;
            out[x] = ExactTap(kernel, [&](int k) { return in[std::clamp(x - k, 0, width - 1)]; });
        }
    }
    // Vertical: tap k reads row y − k of B.
    for (int y = 0; y < height; ++y) {
        for (int t = 0; t < taps; ++t) rows[t] = rowOfB(std::clamp(y - (t - half), 0, height - 1));
        accumulate(acc.data(), TapRows{nullptr, rows.data()}, weights.data(), taps, width);
        std::uint16_t* out = image.Row(y);
        finalize(acc.data(), out, undecided.data(), width, marginPerUnit);
        for (int x = 0; x < width; ++x) {
            if (!undecided[x]) continue;
            out[x] = ExactTap(kernel, [&](int k) { return rows[k + half][x]; });
        }
    }
}

}  // namespace vexo

HRESULT TaxLumora::GaussianBlur(DOUBLE iRadius, SHORT* Value) {
    return SafeCall([&] {
        *Value = 0;
        if (CurrentBitmap.BitsPerPixel != 16) return;
        InnerHandler(*Value, [&] {
            Gray16Image image;
            // A zero or non-finite deviation defines no Gaussian; nothing is changed then.
            if (!Gray16View(CurrentBitmap, &image) || !std::isfinite(iRadius) || iRadius == 0.0) {
                *Value = -1;
                return;
            }
            vexo::ApplyBlurKernel(image, vexo::BuildBlurKernel(iRadius, 255.0, 1.0));
            RefreshPaintPalette(false);
            *Value = 1;
        }, LogCaughtError("GaussianBlur"));
    });
}
