// The sensor correction file: bad pixels, columns and rows listed as "X Y Kind" lines, and the
// text rules for reading them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace correction {

constexpr int kMaxLines = 200;
constexpr std::int32_t kKindPixel = 0;
constexpr std::int32_t kKindColumn = 2;
constexpr std::int32_t kKindRow = 3;

struct CorrectionEntry {
    std::int32_t X;
    std::int32_t Y;
    std::int32_t Kind;

    bool operator==(const CorrectionEntry&) const = default;
};

// A field as a signed 32-bit integer: leading spaces, a sign, decimal digits or hexadecimal
// after $, x, X, 0x or 0X, nothing after. -1 for anything else (so -1 itself is unusable).
std::int32_t ParseField(std::string_view text);

// Splits file content into lines at CR, LF or CR LF.
std::vector<std::string> SplitLines(std::string_view content);

// The accepted entries of the first 200 lines, in file order, coordinates halved when binning.
std::vector<CorrectionEntry> ParseEntries(const std::vector<std::string>& lines, bool binning);

}  // namespace correction
