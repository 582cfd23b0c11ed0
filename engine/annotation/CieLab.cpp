// CIELab → XYZ → linear sRGB → sRGB (IEC 61966-2-1). DICOM gives no white point for its CIELab
// values; D65 is the one sRGB is defined for, so no chromatic adaptation is needed.
#include "engine/annotation/CieLab.h"

#include <algorithm>
#include <cmath>

namespace engine::annotation {
namespace {

constexpr double kWhiteX = 0.95047, kWhiteY = 1.0, kWhiteZ = 1.08883;  // D65, Y normalised
constexpr double kDelta = 6.0 / 29.0;

// Inverse of the CIELab companding function f.
double InverseF(double t) {
    return t > kDelta ? t * t * t : 3 * kDelta * kDelta * (t - 4.0 / 29.0);
}

std::uint8_t Encoded(double linear) {
    if (!(linear > 0)) return 0;  // NaN too
    const double c =
        linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return static_cast<std::uint8_t>(std::lround(std::clamp(c, 0.0, 1.0) * 255));
}

}  // namespace

Rgb CieLabToRgb(double lightness, double a, double b) {
    const double fy = (lightness + 16) / 116;
    const double fx = fy + a / 500, fz = fy - b / 200;
    const double x = kWhiteX * InverseF(fx), y = kWhiteY * InverseF(fy), z = kWhiteZ * InverseF(fz);
    const double red = 3.2404542 * x - 1.5371385 * y - 0.4985314 * z;
    const double green = -0.9692660 * x + 1.8760108 * y + 0.0415560 * z;
    const double blue = 0.0556434 * x - 0.2040259 * y + 1.0572252 * z;
    return Rgb{Encoded(red), Encoded(green), Encoded(blue)};
}

Rgb EncodedCieLabToRgb(std::uint16_t lightness, std::uint16_t a, std::uint16_t b) {
    return CieLabToRgb(lightness * 100.0 / 65535, a * 255.0 / 65535 - 128, b * 255.0 / 65535 - 128);
}

Rgb GrayscaleToRgb(std::uint16_t value) {
    const auto level = static_cast<std::uint8_t>((value * 255u + 32767u) / 65535u);
    return Rgb{level, level, level};
}

}  // namespace engine::annotation
