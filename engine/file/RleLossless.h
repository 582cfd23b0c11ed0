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

// Whether frame is a well-formed frame of segments byte planes: the header names exactly that
// many segments, the first right after it, and each segment codes exactly planeBytes bytes with
// at most a pad byte or two left over. Counts, writes nothing: a frame is judged before any
// memory is set aside for it.
bool RleFrameIsClean(Bytes frame, std::size_t planeBytes, unsigned segments);

// Decodes frame (header and segments) of planeBytes bytes a segment into out: the samples
// interleaved, channels × bytesPerSample bytes a pixel, little-endian. False when a segment is
// missing or runs short.
bool DecodeRleLossless(Bytes frame, std::size_t planeBytes, int channels, int bytesPerSample,
                       std::uint8_t* out);

}  // namespace engine::file
