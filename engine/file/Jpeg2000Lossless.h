#pragma once
// Lossless JPEG 2000 codestreams of one frame, written with OpenJPEG directly: GDCM's own coder
// writes into a buffer the size of the raw frame and overruns it whenever the codestream comes
// out larger (small or noisy frames).
#include <cstdint>
#include <vector>

#include "engine/file/Codec.h"

namespace engine::file {

// The reversible (5/3 wavelet, RCT for colour) codestream of image (8 or 16 bits, 1 or 3
// interleaved channels) with precision bits a sample into *out; samples above that precision
// saturate. False when OpenJPEG refuses.
bool EncodeJpeg2000Lossless(const SampleImage& image, int precision,
                            std::vector<std::uint8_t>* out);

}  // namespace engine::file
