// What deep grey samples of a DICOM file stand for once they lie in a 16-bit bitmap: the modality
// rescale from a bitmap sample to the file's value, and 32-bit samples narrowed to 16 bits.
#pragma once

#include <cstdint>
#include <span>

namespace engine::file {

// value = slope × sample + intercept.
struct LinearRescale {
    double slope = 1;
    double intercept = 0;
};

// The file's Rescale Slope/Intercept (slope 1, intercept 0 when absent; a slope of 0 is taken as
// 1) carried over to the bitmap's samples, which hold the stored value shifted by signOffset and,
// for MONOCHROME1, turned round within mask.
LinearRescale BitmapRescale(LinearRescale file, std::int64_t signOffset, std::int64_t mask,
                            bool invert);

// 32-bit samples into 16 bits: value - minimum, shifted right by the fewest bits that make the
// first frame's range fit, so that an image using 16 bits or fewer of its range keeps every
// value.
struct Narrowing {
    std::int64_t minimum = 0;
    unsigned shift = 0;
    // The stored value a narrowed sample stands for.
    LinearRescale ToStored() const {
        return {static_cast<double>(std::int64_t{1} << shift), static_cast<double>(minimum)};
    }
};

// The stored value of sample i of little-endian 32-bit words: the low `stored` bits, sign-extended
// when signed.
std::int64_t StoredValue32(std::span<const std::uint8_t> words, std::size_t i, unsigned stored,
                           bool isSigned);

// The narrowing for the first `count` samples.
Narrowing PlanNarrowing(std::span<const std::uint8_t> words, std::size_t count, unsigned stored,
                        bool isSigned);

// Samples first … first + out.size() narrowed into out; MONOCHROME1 turned round in 16 bits.
void NarrowSamples(std::span<const std::uint8_t> words, std::size_t first, unsigned stored,
                   bool isSigned, const Narrowing& narrowing, bool invert,
                   std::span<std::uint16_t> out);

}  // namespace engine::file
