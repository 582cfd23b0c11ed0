#pragma once
// The DICOM RLE Lossless coding of one frame, both ways, done by us: GDCM's coder asserts on
// frames whose pixel data has an odd length, and its decoder goes through a stream a run at a
// time, ten times slower.
#include <cstdint>
#include <vector>

#include "engine/file/Codec.h"

namespace engine::file {

// The encapsulated frame of image (8 or 16 bits, 1 or 3 interleaved channels) into *out.
// False when the image has more byte planes than the coding allows.
bool EncodeRleLossless(const SampleImage& image, std::vector<std::uint8_t>* out);

// Decodes frame (header and segments) of planeBytes bytes a segment into out: the samples
// interleaved, channels × bytesPerSample bytes a pixel, little-endian. False when a segment is
// missing or runs short.
bool DecodeRleLossless(Bytes frame, std::size_t planeBytes, int channels, int bytesPerSample, std::uint8_t* out);

}  // namespace engine::file
