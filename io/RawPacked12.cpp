#include "io/RawPacked12.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace raw_packed12 {
namespace {

void UnpackPlain(const std::uint8_t* normal, const std::uint8_t* dark, std::uint16_t* out,
                 std::size_t groups) {
    for (std::size_t g = 0; g < groups; ++g, normal += 3, out += 2) {
        const PixelPair n = Unpack(normal);
        PixelPair d{0, 0};
        if (dark) {
            d = Unpack(dark);
            dark += 3;
        }
        out[0] = Level(n.first, d.first);
        out[1] = Level(n.second, d.second);
    }
}

#if defined(__x86_64__)
// Eight groups (24 bytes) to sixteen pixels × 16. Each 128-bit lane takes four groups: the
// shuffle makes word 2k = b0 | b1 << 8 and word 2k + 1 = b2 | b1 << 8 of group k. Shifted left by
// 4, an odd word is already the second pixel × 16 (its high nibble falls out); an even word keeps
// b0 × 16 and, from the unshifted word, b1's high nibble in place as bits 12–15.
__attribute__((target("avx2"))) inline __m256i Unpack8Groups(const std::uint8_t* p) {
    const __m256i bytes = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
    const __m256i order = _mm256_setr_epi8(0, 1, 2, 1, 3, 4, 5, 4, 6, 7, 8, 7, 9, 10, 11, 10,  //
                                           0, 1, 2, 1, 3, 4, 5, 4, 6, 7, 8, 7, 9, 10, 11, 10);
    const __m256i words = _mm256_shuffle_epi8(bytes, order);
    const __m256i shifted = _mm256_slli_epi16(words, 4);
    const __m256i keepShifted = _mm256_set1_epi32(static_cast<int>(0xFFFF0FF0u));
    const __m256i keepHighNibble = _mm256_set1_epi32(0x0000F000);
    return _mm256_or_si256(_mm256_and_si256(shifted, keepShifted),
                           _mm256_and_si256(words, keepHighNibble));
}

// 16-byte loads at offsets 0 and 12 read 28 bytes for 24 used: the vector loop stops while at
// least 28 bytes of the groups remain, and the plain loop takes the rest.
__attribute__((target("avx2"))) void UnpackAvx2(const std::uint8_t* normal,
                                                const std::uint8_t* dark, std::uint16_t* out,
                                                std::size_t groups) {
    std::size_t g = 0;
    for (; 3 * (groups - g) >= 28; g += 8, normal += 24, out += 16) {
        __m256i pixels = Unpack8Groups(normal);
        if (dark) {
            // (n − d) × 16 clamped at 0 is n × 16 − d × 16 saturating: both fit 16 bits.
            pixels = _mm256_subs_epu16(pixels, Unpack8Groups(dark));
            dark += 24;
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), pixels);
    }
    UnpackPlain(normal, dark, out, groups - g);
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

}  // namespace

void UnpackGroups(const std::uint8_t* normal, const std::uint8_t* dark, std::uint16_t* out,
                  std::size_t groups, Path path) {
#if defined(__x86_64__)
    if (path == Path::Fast && HasAvx2()) return UnpackAvx2(normal, dark, out, groups);
#endif
    UnpackPlain(normal, dark, out, groups);
}

}  // namespace raw_packed12
