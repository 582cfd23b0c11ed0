// Reading displayed pixels of a bitmap as context pixels (0x00RRGGBB): the colour tables of
// each depth are composed once per paint, and a row of samples is fetched through precomputed
// byte offsets, so the per-pixel work is one load and one table lookup.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/Bitmap.h"
#include "engine/PixelView.h"
#include "engine/kernel/DisplayTransform.h"

namespace engine {

class PaintSource {
public:
    // SUCCESS or the status of AccessPixels.
    int Open(const BITMAPHANDLE& bitmap);
    std::int32_t ViewWidth() const { return viewWidth_; }
    std::int32_t ViewHeight() const { return viewHeight_; }

    // Displayed columns to read, prepared once for all rows.
    struct Columns {
        std::vector<std::int32_t> xs;
        std::vector<std::int64_t> offsets;  // byte offset of each column's pixel for row 0
    };
    void PrepareColumns(const std::int32_t* xs, int count, Columns* columns) const;
    // out[i] = the context pixel at displayed (columns.xs[i], y).
    void ReadRow(const Columns& columns, std::int32_t y, std::uint32_t* out) const;

    // The colour of a 12/16-bit grey or 16-bit colour word, as painting shows it.
    static void BuildWordTable(const BITMAPHANDLE& bitmap, std::vector<std::uint32_t>* table);

private:
    enum class Kind { Packed, Index8, Word, Bgr24, Rgb24, Bgr32, Rgb32 };
    ConstPixelView view_;
    GridMap map_;
    Kind kind_ = Kind::Index8;
    int bytesPerPixel_ = 1;
    std::int32_t viewWidth_ = 0, viewHeight_ = 0;
    std::vector<std::uint32_t> table_;  // index or word → pixel
};

}  // namespace engine
