// The sensor correction file: bad pixels, columns and rows listed as "X Y Kind" lines, and the
// text rules for reading them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Bitmap.h"

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

// How the repairs reach the pixels: the words of a 12- or 16-bit grey image through the pixel
// view, or the engine's single-pixel colour calls (every other depth, whose colour mapping is the
// engine's). Both give the same bits on grey images.
enum class PixelRoute { GreyWords, EngineColours };

// GreyWords for a 12- or 16-bit grey image, EngineColours otherwise.
PixelRoute RouteFor(BITMAPHANDLE* bitmap);

// The line to copy a bad column (column true) or row from; outside the image when there is none.
using ChooseSource = std::function<int(int bad, bool column)>;

// The table's repairs on the bitmap, in this order: bad pixels become the mean of their window
// off their row and column, then bad columns and bad rows become copies of chooseSource's line.
void Repair(BITMAPHANDLE* bitmap, const std::vector<CorrectionEntry>& table, PixelRoute route,
            const ChooseSource& chooseSource);

}  // namespace correction
