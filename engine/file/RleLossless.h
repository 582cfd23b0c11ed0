#pragma once
// The DICOM RLE Lossless coding of one frame, written by us: GDCM's coder asserts on frames
// whose pixel data has an odd length.
#include <cstdint>
#include <vector>

#include "engine/file/Codec.h"

namespace engine::file {

// The encapsulated frame of image (8 or 16 bits, 1 or 3 interleaved channels) into *out.
// False when the image has more byte planes than the coding allows.
bool EncodeRleLossless(const SampleImage& image, std::vector<std::uint8_t>* out);

}  // namespace engine::file
