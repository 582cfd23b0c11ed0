// Colours of presentation states as the sRGB that annotations are drawn in.
#pragma once

#include <cstdint>

#include "engine/annotation/AnnotationModel.h"

namespace engine::annotation {

// CIELab (D65 white, L* 0 … 100) to 8-bit sRGB; colours outside the sRGB gamut are clamped.
Rgb CieLabToRgb(double lightness, double a, double b);
// The encoded triplet of a CIELab Value attribute (PS3.3 C.10.7.1.1).
Rgb EncodedCieLabToRgb(std::uint16_t lightness, std::uint16_t a, std::uint16_t b);
// A Recommended Display Grayscale Value, 0 … 65535 (PS3.3 C.10.7.1.1).
Rgb GrayscaleToRgb(std::uint16_t value);

}  // namespace engine::annotation
