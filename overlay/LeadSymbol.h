// The lead symbol: a bright ring open to the right, like a letter C, edged in dark, as 23 rows of
// 21 cells. A cell is a grey intensity (the high byte of a 16-bit sample) or transparent.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace leadsymbol {

constexpr int kGlyphWidth = 21;
constexpr int kGlyphHeight = 23;
// A cell that leaves the image's own pixel in place.
constexpr std::uint8_t kTransparent = 0x76;

using Glyph = std::array<std::array<std::uint8_t, kGlyphWidth>, kGlyphHeight>;

namespace detail {
consteval int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw "not a hexadecimal digit";
}
// Rows written as 21 two-digit hexadecimal cells separated by single spaces.
consteval Glyph ParseGlyph(const std::array<std::string_view, kGlyphHeight>& rows) {
    Glyph glyph{};
    for (int y = 0; y < kGlyphHeight; ++y) {
        if (rows[y].size() != kGlyphWidth * 3 - 1) throw "row of the wrong length";
        for (int x = 0; x < kGlyphWidth; ++x) {
            const std::size_t at = static_cast<std::size_t>(x) * 3;
            if (x > 0 && rows[y][at - 1] != ' ') throw "cells not separated";
            glyph[y][x] =
                static_cast<std::uint8_t>(HexDigit(rows[y][at]) * 16 + HexDigit(rows[y][at + 1]));
        }
    }
    return glyph;
}
}  // namespace detail

// clang-format off
inline constexpr Glyph LeadSymbolGlyph = detail::ParseGlyph({
    "76 76 76 76 76 76 76 43 2C 1A 0B 08 13 23 3D 76 76 76 76 76 76",  // 0
    "76 76 76 76 76 3E 11 03 04 11 1D 1F 16 09 02 09 2B 76 76 76 76",  // 1
    "76 76 76 76 20 03 0C 4D AA E3 F8 F9 EE C5 73 1E 03 0E 42 76 76",  // 2
    "76 76 76 15 02 37 CC FF FF FF FF FF FE FF FF F2 70 08 07 47 76",  // 3
    "76 76 1A 03 59 FF FF FF FF FE FF FF FF FD FF FF FF A9 0C 09 53",  // 4
    "76 33 02 48 FF FF FF FF C0 61 33 2F 49 97 F9 FD FF FF AB 07 16",  // 5
    "76 09 17 EC FF FF F9 5C 07 03 07 09 04 03 25 CB FE D0 4D 08 0D",  // 6
    "28 02 85 FF FF FF 4D 01 14 3C 76 76 49 23 03 18 5D 0E 02 1B 45",  // 7
    "11 10 E4 FF FF 98 02 18 76 76 76 76 76 76 32 05 03 0F 3E 76 76",  // 8
    "05 34 FF FF FE 2C 05 76 76 76 76 76 76 76 76 21 29 58 76 76 76",  // 9
    "03 5A FF FF E2 0F 16 76 76 76 76 76 76 76 76 76 76 76 76 76 76",  // 10
    "02 67 FF FE CE 09 21 76 76 76 76 76 76 76 76 76 76 76 76 76 76",  // 11
    "03 5D FE FF DD 0D 19 76 76 76 76 76 76 76 76 76 76 76 76 76 76",  // 12
    "06 3A FF FF FC 26 06 76 76 76 76 76 76 76 76 2A 31 57 76 76 76",  // 13
    "14 14 E9 FF FF 87 02 1E 76 76 76 76 76 76 41 05 03 13 3E 76 76",  // 14
    "32 03 92 FF FF FC 3C 01 1A 44 76 76 4E 31 04 11 44 09 03 21 52",  // 15
    "76 06 1F F3 FF FE EF 43 03 03 0C 0D 07 01 19 B5 FF BB 38 06 0D",  // 16
    "76 2E 03 5D FE FF FD FF A5 44 22 20 31 76 EC FF FF FF BB 07 0F",  // 17
    "76 76 15 03 71 FD FF FF FF FF FF F9 FD FF FF FF FF C0 13 05 40",  // 18
    "76 76 76 11 04 4D E1 FF FF FF FF FE FF FF FF FF 8D 0D 04 36 76",  // 19
    "76 76 76 76 19 03 14 69 C4 F2 FE FF FC DA 91 2E 03 0B 3C 76 76",  // 20
    "76 76 76 76 76 36 0D 03 08 19 2B 2E 21 0E 04 05 22 76 76 76 76",  // 21
    "76 76 76 76 76 76 76 76 23 0E 07 06 09 17 2C 76 76 76 76 76 76",  // 22
});
// clang-format on

}  // namespace leadsymbol
