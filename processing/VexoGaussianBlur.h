// The control's separable Gaussian blur of 16-bit grey images. The arithmetic is fixed to the
// bit: single-precision weights, every product formed and every running sum added in 80-bit
// extended precision and rounded to double, results truncated. ApplyBlurKernel is the fast
// path; ApplyBlurKernelReference is the plain evaluation it must match bit for bit.
#pragma once

#include <cstdint>

#include "engine/PixelView.h"

namespace vexo {

struct BlurKernel {
    static constexpr int kMaxHalfWidth = 100;
    std::uint8_t HalfWidth = 0;                 // taps −HalfWidth … HalfWidth are used
    float Weights[2 * kMaxHalfWidth + 1] = {};  // index j + 100 holds the weight of tap j

    float Weight(int j) const { return Weights[j + kMaxHalfWidth]; }
    float& Weight(int j) { return Weights[j + kMaxHalfWidth]; }
    int Taps() const { return 2 * HalfWidth + 1; }
};

// Gaussian weights for standard deviation `radius` (pixels), the tails cut where their mass
// falls below granularity / (2 × dataMax). radius must be finite and non-zero (a negative one
// gives the same kernel as its magnitude).
BlurKernel BuildBlurKernel(double radius, double dataMax, double granularity);

// True when every sum of the blur is exact in double whatever the order (see the definition);
// ApplyBlurKernel evaluates such kernels vectorised and leaves others to the reference.
bool SumsExactInDouble(const BlurKernel& kernel);

// Blurs the image in place: horizontal pass, then vertical, edges repeated. Throws
// std::bad_alloc when the working memory cannot be had (the image is then unchanged).
void ApplyBlurKernel(const engine::PixelView& image, const BlurKernel& kernel);
void ApplyBlurKernelReference(const engine::PixelView& image, const BlurKernel& kernel);

}  // namespace vexo
