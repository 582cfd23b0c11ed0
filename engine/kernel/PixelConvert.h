// Reading and writing runs of pixels of any format as samples of one sample space, for the
// operations that bring one bitmap's pixels into another's format (combining, colour
// resolution, separation). Tables are built once per call; the format is dispatched once per run.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/Bitmap.h"
#include "engine/PixelView.h"

namespace engine {

// count memory pixels from (row, col), each step moving by (rowStep, colStep): a displayed row
// of any view perspective is such a walk through memory.
struct PixelWalk {
    int row = 0;
    int col = 0;
    int rowStep = 0;
    int colStep = 1;
    int count = 0;
};

// Where samples are combined: channels 1 (a grey level) or 3 (red, green, blue, in that order),
// each 0 … max, max being 2^n − 1.
struct SampleSpace {
    int channels = 1;
    std::uint32_t max = 255;
};

// A bitmap's own space: 12/16-bit grey at its depth, palette images whose entries are all grey
// as 8-bit levels, RGB555 as 5-bit channels, other colour as 8-bit channels.
SampleSpace SpaceOf(const BITMAPHANDLE& bitmap, PixelFormat format);

// level × toMax / fromMax rounded to nearest. None of the engine's depth pairs has a tie.
inline std::uint32_t RescaleLevel(std::uint32_t level, std::uint32_t fromMax, std::uint32_t toMax) {
    if (fromMax == toMax) return level;
    return static_cast<std::uint32_t>((std::uint64_t{level} * toMax + fromMax / 2) / fromMax);
}

// Brings pixels into a space: grey levels rescaled exactly between depths, colour to grey by
// the engine's luma (GrayLevelOf), grey to colour replicated, palette indices through their
// entries. 12-bit words above 4095 read as 4095.
class SampleReader {
public:
    // SUCCESS or ERROR_NO_MEMORY. The view must stay valid while the reader is used.
    int Init(const BITMAPHANDLE& bitmap, const ConstPixelView& view, SampleSpace space) noexcept;
    // out receives walk.count × channels samples, pixel by pixel.
    void Read(const PixelWalk& walk, std::uint16_t* out) const;
    const SampleSpace& Space() const { return space_; }

private:
    ConstPixelView view_;
    SampleSpace space_;
    bool rgbOrder_ = false;
    bool deepIdentity_ = false;  // a grey source already in the space: samples pass unchanged
    // Palette sources: index × channels → samples. Deep grey: sample → channel value.
    std::vector<std::uint16_t> table_;
    std::array<std::uint16_t, 256> fromLevel8_{};  // 8-bit luma → grey level of the space
};

// Stores samples of the bitmap's own space (SpaceOf) into its pixels. Palette images get the
// nearest entry (grey palettes by level, colour palettes by RGB distance, the lowest index on a
// tie); the unused bits of RGB555 and 32-bit pixels keep their value; 12-bit samples never
// exceed 4095.
class SampleWriter {
public:
    // SUCCESS or ERROR_NO_MEMORY. The view must stay valid while the writer is used.
    int Init(const BITMAPHANDLE& bitmap, const PixelView& view) noexcept;
    void Write(const PixelWalk& walk, const std::uint16_t* in);
    const SampleSpace& Space() const { return space_; }

private:
    unsigned NearestColourIndex(std::uint32_t red, std::uint32_t green, std::uint32_t blue);

    PixelView view_;
    SampleSpace space_;
    bool rgbOrder_ = false;
    std::array<std::uint8_t, 256> greyIndex_{};  // grey palettes: level → nearest index
    std::vector<RGBQUAD> entries_;               // colour palettes: every entry
    std::vector<std::uint64_t> cache_;           // colour palettes: recent colours and their index
};

}  // namespace engine
