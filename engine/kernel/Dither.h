// Dithering for colour resolution: error diffusion and ordered dithering of a source's pixels into
// a new image of fewer levels, and the exact nearest-entry search they quantise with.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/Bitmap.h"
#include "engine/PixelView.h"

namespace engine {

// Nearest palette entry by squared RGB distance, the lowest index on a tie. Each cell of a
// 16 × 16 × 16 grid over the colour cube lists the entries that can be nearest to some colour in
// it (built on first use), so a search visits a few entries yet answers exactly as a search of
// all would.
class NearestEntrySearch {
public:
    // At most 256 entries. May throw std::bad_alloc.
    explicit NearestEntrySearch(std::vector<RGBQUAD> entries);
    unsigned Find(std::uint32_t red, std::uint32_t green, std::uint32_t blue);
    const RGBQUAD& Entry(unsigned index) const { return entries_[index]; }

private:
    const std::vector<std::uint8_t>& Candidates(std::uint32_t red, std::uint32_t green,
                                                std::uint32_t blue);

    std::vector<RGBQUAD> entries_;
    std::vector<std::vector<std::uint8_t>> cells_;
    std::vector<std::uint8_t> built_;
};

// The search every entry: NearestEntrySearch's reference.
unsigned NearestEntryReference(const std::vector<RGBQUAD>& entries, std::uint32_t red,
                               std::uint32_t green, std::uint32_t blue);

// Dither kinds: the values of the type library's CRD enumeration.
enum class DitherKind : unsigned {
    None = 0,
    FloydSteinberg = 1,
    Stucki = 2,
    Burkes = 3,
    Sierra = 4,
    StevensonArce = 5,
    Jarvis = 6,
    Ordered = 7,    // 8 × 8 Bayer matrix
    Clustered = 8,  // ordered, with a 4 × 4 clustered-dot matrix
};
constexpr unsigned kDitherKindCount = 9;

// True when converting into target loses levels that dithering can spread: palette targets,
// RGB555, and 12-bit grey from 16-bit grey. 24/32-bit targets and the other deep grey ones take
// every level of their source (grey into colour passes through 8 bits either way).
bool DitheringApplies(PixelFormat sourceFormat, PixelFormat targetFormat);

// Writes every pixel of the source into target, an image of the same size (its palette already
// set), dithered by kind. The source is read at its own precision: 8-bit channels for colour
// targets, grey levels at the source's depth for grey targets. Error diffusion scans each row
// left to right and drops the error that would leave the image; every kind keeps a wanted value
// within the levels before it is quantised. None takes the nearest level: for colour palettes
// exactly the entry a search of every entry finds. SUCCESS or ERROR_NO_MEMORY.
int DitherInto(const BITMAPHANDLE& source, const ConstPixelView& src, const BITMAPHANDLE& target,
               const PixelView& dst, DitherKind kind) noexcept;

}  // namespace engine
