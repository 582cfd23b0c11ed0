#include "processing/VexoUnsharpMask.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "control/cvaxLumoraMain.h"
#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/Processing.h"
#include "processing/ContrastOptimisation.h"

namespace vexo {

namespace {

struct Range {
    std::uint16_t lo;
    std::uint16_t hi;
};

// Over a non-empty image the extremes of all pixels are what starting from the first gives.
Range ScanRange(const engine::PixelView& image) {
    contrast::RangeState state;
    contrast::ScanRange(image, &state);
    return Range{state.min, state.max};
}

double StretchScale(Range range) {
    return static_cast<double>(65535.0L / (static_cast<long double>(range.hi - range.lo) + 0.01L));
}

// Rounds to nearest, ties to even, in the current (default) rounding mode.
inline long double RoundEven(long double value) { return std::nearbyint(value); }

inline std::uint16_t StretchOne(std::uint16_t v, Range range, double scale) {
    return static_cast<std::uint16_t>(RoundEven(static_cast<long double>(v - range.lo) * scale));
}

inline std::uint16_t ClampToSample(long double value) {
    if (value < 0) return 0;
    if (value > 65535) return 65535;
    return static_cast<std::uint16_t>(value);
}

inline std::uint16_t SubtractOne(std::uint16_t v, std::uint16_t b, double f, double g) {
    const long double out = (static_cast<long double>(v) - static_cast<long double>(b) * f) / g;
    return ClampToSample(RoundEven(out));
}

// The stretch as a table over lo … hi: every pixel takes one of at most 65536 levels.
std::vector<std::uint16_t> StretchTable(Range range) {
    const double scale = StretchScale(range);
    std::vector<std::uint16_t> table(range.hi - range.lo + 1u);
    for (unsigned v = range.lo; v <= range.hi; ++v) {
        table[v - range.lo] = StretchOne(static_cast<std::uint16_t>(v), range, scale);
    }
    return table;
}

// Why integers decide the subtraction: (v − b × f) / g is, exactly, N / D with N = 10v − fract × b
// and D = 10 − fract, and the extended evaluation lies within 1e-7 of it (f and g carry one
// rounding each, |g| >= 0.1, |N| < 2^25). Unless N / D is a half, it lies at least 1 / (2|D|)
// >= 1/490 from one, so both round it alike. Where N / D is exactly a half (D even only), the
// tiny errors of the extended evaluation pick the side: only there does it run.
struct Subtraction {
    explicit Subtraction(int fract)
        : fract(fract), divisor(10 - fract), inverse(1.0 / divisor), f(fract / 10.0), g(1.0 - f) {}

    std::uint16_t operator()(std::uint16_t v, std::uint16_t b) const {
        const std::int64_t numerator = 10 * std::int64_t{v} - std::int64_t{fract} * b;
        const double quotient = static_cast<double>(numerator) * inverse;
        const double below = std::floor(quotient);
        if (2 * numerator == static_cast<std::int64_t>(divisor * (2 * below + 1))) {
            return SubtractOne(v, b, f, g);
        }
        return ClampToSample(std::floor(quotient + 0.5));
    }

    int fract, divisor;
    double inverse, f, g;
};

// The engine's box average of the stretched image, fused with the stretch before it and the
// subtraction after it. The mean is the engine's: (Σ + c / 2) / c with c = size², the window
// x − size / 2 … x + size − 1 − size / 2 and its rows likewise, edges repeated. With size <= 255
// every column sum stays below 2^32.
class BoxSubtraction {
public:
    static constexpr int kMaxSize = 255;
    // Column sums below 2^31 convert as signed lanes.
    static constexpr int kMaxVectorSize = 181;

    BoxSubtraction(const engine::PixelView& image, int size, int fract)
        : image_(image),
          size_(size),
          subtract_(fract),
          inverseCount_(1.0 / (static_cast<double>(size) * size)),
          // Adding half a step as well keeps the quotient at least 1 / (2c) off an integer,
          // far more than the one rounding of the product: floor gives the integer quotient.
          roundingOffset_(static_cast<double>(size * size / 2) + 0.5),
          ringRows_(std::min(size + 1, image.height)),
          rowSums_(static_cast<std::size_t>(ringRows_) * image.width),
          columnSums_(image.width, 0),
          padded_(static_cast<std::size_t>(image.width) + size - 1),
          vector_(__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {}

    void Run(const std::vector<std::uint16_t>& table, std::uint16_t lo) {
        const int height = image_.height, width = image_.width;
        const int before = size_ / 2, after = size_ - 1 - before;
        int made = 0;
        const auto sumsOf = [&](int y) {
            y = std::clamp(y, 0, height - 1);
            for (; made <= y; ++made) Enter(made, table, lo);
            return &rowSums_[static_cast<std::size_t>(y % ringRows_) * width];
        };
        for (int k = -before; k <= after; ++k) {
            const std::uint32_t* sums = sumsOf(k);
            for (int x = 0; x < width; ++x) columnSums_[x] += sums[x];
        }
        for (int y = 0; y < height; ++y) {
            std::uint16_t* row = image_.Row16(y);
            // The next window's rows: entering it stretches a row below y, never y itself.
            const bool more = y + 1 < height;
            const std::uint32_t* entering = more ? sumsOf(y + after + 1) : nullptr;
            const std::uint32_t* leaving = more ? sumsOf(y - before) : nullptr;
            const int done =
                vector_ && size_ <= kMaxVectorSize ? OutputAvx2(row, entering, leaving) : 0;
            for (int x = done; x < width; ++x) {
                row[x] = subtract_(row[x], Mean(columnSums_[x]));
                if (more) columnSums_[x] += entering[x] - leaving[x];
            }
        }
    }

private:
    std::uint16_t Mean(std::uint32_t sum) const {
        return static_cast<std::uint16_t>(std::floor((sum + roundingOffset_) * inverseCount_));
    }

    // Stretches row y in place and stores its window sums.
    void Enter(int y, const std::vector<std::uint16_t>& table, std::uint16_t lo) {
        const int width = image_.width, before = size_ / 2;
        std::uint16_t* row = image_.Row16(y);
        std::uint16_t* line = padded_.data() + before;
        for (int x = 0; x < width; ++x) line[x] = row[x] = table[row[x] - lo];
        std::fill_n(padded_.begin(), before, row[0]);
        std::fill(padded_.begin() + before + width, padded_.end(), row[width - 1]);
        std::uint32_t* sums = &rowSums_[static_cast<std::size_t>(y % ringRows_) * width];
        const int done = vector_ ? WindowSumsAvx2(sums) : 0;
        for (int x = done; x < width; ++x) {
            std::uint32_t sum = 0;
            for (int i = 0; i < size_; ++i) sum += padded_[x + i];
            sums[x] = sum;
        }
    }

    // Sixteen window sums per step, kept in registers over the window; returns how many.
    __attribute__((target("avx2"))) int WindowSumsAvx2(std::uint32_t* sums) const {
        int x = 0;
        for (; x + 16 <= image_.width; x += 16) {
            __m256i low = _mm256_setzero_si256(), high = low;
            for (const std::uint16_t* p = padded_.data() + x; p < padded_.data() + x + size_; ++p) {
                const __m128i* words = reinterpret_cast<const __m128i*>(p);
                low = _mm256_add_epi32(low, _mm256_cvtepu16_epi32(_mm_loadu_si128(words)));
                high = _mm256_add_epi32(high, _mm256_cvtepu16_epi32(_mm_loadu_si128(words + 1)));
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + x), low);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + x + 8), high);
        }
        return x;
    }

    // Eight outputs per step, moving their column sums on to the next row when entering is
    // given; returns how many it wrote. Halves go to the exact evaluation.
    __attribute__((target("avx2,fma"))) int OutputAvx2(std::uint16_t* row,
                                                       const std::uint32_t* entering,
                                                       const std::uint32_t* leaving) {
        const __m256d offset = _mm256_set1_pd(roundingOffset_),
                      inverse = _mm256_set1_pd(inverseCount_);
        const __m256d ten = _mm256_set1_pd(10.0), fract = _mm256_set1_pd(subtract_.fract);
        const __m256d quotientScale = _mm256_set1_pd(subtract_.inverse);
        const __m256d divisor = _mm256_set1_pd(subtract_.divisor);
        const __m256d one = _mm256_set1_pd(1.0), two = _mm256_set1_pd(2.0),
                      halfStep = _mm256_set1_pd(0.5);
        const __m256d zero = _mm256_setzero_pd(), top = _mm256_set1_pd(65535.0);
        // When the divisor divides 10 (and so the fraction's tenths) the quotient is the whole
        // number (10 / D) v − (fract / D) b: no rounding at all, and the saturating pack clamps.
        const int integerDivisor = subtract_.divisor;
        const bool wholeFactors = 10 % integerDivisor == 0;
        const __m256i sampleFactor = _mm256_set1_epi32(wholeFactors ? 10 / integerDivisor : 0);
        const __m256i meanFactor =
            _mm256_set1_epi32(wholeFactors ? subtract_.fract / integerDivisor : 0);
        int x = 0;
        for (; x + 8 <= image_.width; x += 8) {
            __m256i* columns = reinterpret_cast<__m256i*>(&columnSums_[x]);
            const __m256i sums = _mm256_loadu_si256(columns);
            if (entering) {
                const __m256i in =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(entering + x));
                const __m256i out =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(leaving + x));
                _mm256_storeu_si256(columns, _mm256_sub_epi32(_mm256_add_epi32(sums, in), out));
            }
            const __m256i samples =
                _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)));
            __m256d means[2];
            for (int part = 0; part < 2; ++part) {
                const __m128i s =
                    part ? _mm256_extracti128_si256(sums, 1) : _mm256_castsi256_si128(sums);
                means[part] = _mm256_floor_pd(
                    _mm256_mul_pd(_mm256_add_pd(_mm256_cvtepi32_pd(s), offset), inverse));
            }
            if (wholeFactors) {
                const __m256i meanWords =
                    _mm256_set_m128i(_mm256_cvttpd_epi32(means[1]), _mm256_cvttpd_epi32(means[0]));
                const __m256i out = _mm256_sub_epi32(_mm256_mullo_epi32(samples, sampleFactor),
                                                     _mm256_mullo_epi32(meanWords, meanFactor));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x),
                                 _mm_packus_epi32(_mm256_castsi256_si128(out),
                                                  _mm256_extracti128_si256(out, 1)));
                continue;
            }
            __m128i words[2];
            int ties = 0;
            for (int part = 0; part < 2; ++part) {
                const __m128i v =
                    part ? _mm256_extracti128_si256(samples, 1) : _mm256_castsi256_si128(samples);
                const __m256d numerator =
                    _mm256_fnmadd_pd(means[part], fract, _mm256_mul_pd(_mm256_cvtepi32_pd(v), ten));
                const __m256d quotient = _mm256_mul_pd(numerator, quotientScale);
                const __m256d below = _mm256_floor_pd(quotient);
                const __m256d halfway = _mm256_mul_pd(_mm256_fmadd_pd(below, two, one), divisor);
                ties |= _mm256_movemask_pd(
                            _mm256_cmp_pd(_mm256_add_pd(numerator, numerator), halfway, _CMP_EQ_OQ))
                        << (4 * part);
                const __m256d nearest = _mm256_floor_pd(_mm256_add_pd(quotient, halfStep));
                words[part] = _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(nearest, zero), top));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x),
                             _mm_packus_epi32(words[0], words[1]));
            if (ties) {
                alignas(32) double meanLanes[8];
                alignas(32) std::int32_t sampleLanes[8];
                _mm256_store_pd(meanLanes, means[0]);
                _mm256_store_pd(meanLanes + 4, means[1]);
                _mm256_store_si256(reinterpret_cast<__m256i*>(sampleLanes), samples);
                for (int lane = 0; lane < 8; ++lane) {
                    if (ties >> lane & 1) {
                        row[x + lane] = subtract_(static_cast<std::uint16_t>(sampleLanes[lane]),
                                                  static_cast<std::uint16_t>(meanLanes[lane]));
                    }
                }
            }
        }
        return x;
    }

    engine::PixelView image_;
    int size_;
    Subtraction subtract_;
    double inverseCount_, roundingOffset_;
    int ringRows_;
    std::vector<std::uint32_t> rowSums_, columnSums_;
    std::vector<std::uint16_t> padded_;
    bool vector_;
};

}  // namespace

void StretchToFullRangeReference(const engine::PixelView& image) {
    if (image.width <= 0 || image.height <= 0) return;
    const Range range = ScanRange(image);
    const double scale = StretchScale(range);
    for (int y = 0; y < image.height; ++y) {
        std::uint16_t* row = image.Row16(y);
        for (int x = 0; x < image.width; ++x) row[x] = StretchOne(row[x], range, scale);
    }
}

void StretchToFullRange(const engine::PixelView& image) {
    if (image.width <= 0 || image.height <= 0) return;
    const Range range = ScanRange(image);
    const std::vector<std::uint16_t> table = StretchTable(range);
    for (int y = 0; y < image.height; ++y) {
        std::uint16_t* row = image.Row16(y);
        for (int x = 0; x < image.width; ++x) row[x] = table[row[x] - range.lo];
    }
}

void SubtractBlurredReference(const engine::PixelView& image, const engine::PixelView& blurred,
                              int fract) {
    const double f = fract / 10.0;
    const double g = 1.0 - f;
    for (int y = 0; y < image.height; ++y) {
        std::uint16_t* row = image.Row16(y);
        const std::uint16_t* blur = blurred.Row16(y);
        for (int x = 0; x < image.width; ++x) row[x] = SubtractOne(row[x], blur[x], f, g);
    }
}

void SubtractBlurred(const engine::PixelView& image, const engine::PixelView& blurred, int fract) {
    const Subtraction subtract(fract);
    for (int y = 0; y < image.height; ++y) {
        std::uint16_t* row = image.Row16(y);
        const std::uint16_t* blur = blurred.Row16(y);
        for (int x = 0; x < image.width; ++x) row[x] = subtract(row[x], blur[x]);
    }
}

namespace {

// The engine route: copy, the engine's average filter on the copy, subtract. Its results are
// not examined: a size the filter refuses leaves the copy as it was.
template <class Subtract>
void SubtractEngineAverage(BITMAPHANDLE* bitmap, const engine::PixelView& image, int fract,
                           int radius, Subtract&& subtract) {
    ScopedBitmap copy;
    L_CopyBitmap(copy.get(), bitmap, BITMAPHANDLE_STRUCT_SIZE);
    engine::PixelView blurred;
    if (!engine::AccessPixels16(copy.get(), &blurred) || blurred.width != image.width ||
        blurred.height != image.height) {
        throw std::bad_alloc();  // the copy could not be made
    }
    L_AverageFilterBitmap(copy.get(), radius);
    subtract(image, blurred, fract);
}

// Whether the engine would average this bitmap as one 16-bit grey channel of the given size,
// which the fused path reproduces.
bool BoxAverageFusable(BITMAPHANDLE* bitmap, int fract, int radius) {
    engine::PixelView view;
    return fract != 10 && radius >= 1 && radius <= BoxSubtraction::kMaxSize &&
           engine::AccessPixels(bitmap, &view) == SUCCESS &&
           view.format == engine::PixelFormat::Gray16;
}

}  // namespace

bool ApplyUnsharpMask(BITMAPHANDLE* bitmap, int fract, int radius) {
    engine::PixelView image;
    if (!engine::AccessPixels16(bitmap, &image) || image.width == 0 || image.height == 0)
        return false;
    if (!BoxAverageFusable(bitmap, fract, radius)) {
        StretchToFullRange(image);
        SubtractEngineAverage(bitmap, image, fract, radius, SubtractBlurred);
        return true;
    }
    BoxSubtraction boxSubtraction(image, radius, fract);  // allocates before anything changes
    const Range range = ScanRange(image);
    boxSubtraction.Run(StretchTable(range), range.lo);
    return true;
}

bool ApplyUnsharpMaskReference(BITMAPHANDLE* bitmap, int fract, int radius) {
    engine::PixelView image;
    if (!engine::AccessPixels16(bitmap, &image) || image.width == 0 || image.height == 0)
        return false;
    StretchToFullRangeReference(image);
    SubtractEngineAverage(bitmap, image, fract, radius, SubtractBlurredReference);
    return true;
}

}  // namespace vexo

HRESULT TaxLumora::UnsharpMask(LONG iFract, LONG iRadius, SHORT* Value) {
    return SafeCall([&] {
        *Value = 0;
        if (CurrentBitmap.BitsPerPixel != 16) return;
        // 10 would divide by zero (subtracting the whole blurred copy): refused like the
        // out-of-range values.
        if (iFract < 0 || iFract > 255 || iFract == 10 || iRadius < -32768 || iRadius > 32767) {
            *Value = -1;
            return;
        }
        InnerHandler(
            *Value,
            [&] {
                if (!vexo::ApplyUnsharpMask(&CurrentBitmap, iFract, iRadius)) {
                    *Value = -1;
                    return;
                }
                RefreshPaintPalette(false);
                *Value = 1;
            },
            LogCaughtError("UnsharpMask"));
    });
}
