#include "engine/display/PaintSource.h"

#include "engine/Status.h"
#include "engine/kernel/GreyRamp.h"

namespace engine {

namespace {

constexpr std::uint32_t PixelOf(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b;
}

template <class Fetch>
void Gather(const std::uint8_t* rowBase, const std::int64_t* offsets, std::size_t count,
            std::uint32_t* out, Fetch fetch) {
    for (std::size_t i = 0; i < count; ++i) out[i] = fetch(rowBase + offsets[i]);
}

}  // namespace

void PaintSource::BuildWordTable(const BITMAPHANDLE& bitmap, std::vector<std::uint32_t>* table) {
    table->resize(65536);
    if (bitmap.Order != ORDER_GRAY) {  // 16-bit colour: 5 bits a channel
        for (std::uint32_t v = 0; v < 65536; ++v) {
            const auto scale = [](std::uint32_t c) {
                return static_cast<std::uint8_t>(c * 255 / 31);
            };
            (*table)[v] = PixelOf(scale((v >> 10) & 31), scale((v >> 5) & 31), scale(v & 31));
        }
        return;
    }
    const int bits = bitmap.BitsPerPixel;
    int low = 0, high = bits - 1;
    if (bitmap.PaintLowBit >= 0 && bitmap.PaintHighBit >= bitmap.PaintLowBit &&
        bitmap.PaintHighBit < bits) {
        low = bitmap.PaintLowBit;
        high = bitmap.PaintHighBit;
    }
    const int width = high - low + 1;
    const std::uint32_t mask = (1u << width) - 1;
    const bool lut = bitmap.pLUT && bitmap.LUTLength > 0;
    for (std::uint32_t v = 0; v < 65536; ++v) {
        const std::uint32_t w = (v >> low) & mask;
        if (lut) {
            const RGBQUAD& q = bitmap.pLUT[(std::uint64_t{w} * bitmap.LUTLength) >> width];
            (*table)[v] = PixelOf(q.rgbRed, q.rgbGreen, q.rgbBlue);
        } else {
            const auto grey =
                static_cast<std::uint8_t>(width >= 8 ? w >> (width - 8) : w * 255 / mask);
            (*table)[v] = PixelOf(grey, grey, grey);
        }
    }
}

int PaintSource::Open(const BITMAPHANDLE& bitmap) {
    if (const int status = AccessPixels(&bitmap, &view_); status != SUCCESS) return status;
    if (!IsValidViewPerspective(bitmap.ViewPerspective)) return ERROR_INV_VIEW_PERSPECTIVE;
    map_ = DisplayToMemory(bitmap.ViewPerspective, view_.width, view_.height);
    viewWidth_ = ::ViewWidth(bitmap);
    viewHeight_ = ::ViewHeight(bitmap);
    switch (view_.format) {
        case PixelFormat::Index1:
        case PixelFormat::Index4:
        case PixelFormat::Index8: {
            kind_ = view_.format == PixelFormat::Index8 ? Kind::Index8 : Kind::Packed;
            const std::uint32_t entries = 1u << view_.bits;
            table_.assign(256, 0);
            for (std::uint32_t i = 0; i < entries; ++i) {
                if (bitmap.pPalette && i < bitmap.nColors) {
                    const RGBQUAD& q = bitmap.pPalette[i];
                    table_[i] = PixelOf(q.rgbRed, q.rgbGreen, q.rgbBlue);
                } else {
                    const std::uint8_t grey = GreyRampLevel(i, entries);
                    table_[i] = PixelOf(grey, grey, grey);
                }
            }
            bytesPerPixel_ = 1;
            break;
        }
        case PixelFormat::Gray12:
        case PixelFormat::Gray16:
        case PixelFormat::Rgb555:
            kind_ = Kind::Word;
            BuildWordTable(bitmap, &table_);
            bytesPerPixel_ = 2;
            break;
        case PixelFormat::Bgr24:
            kind_ = Kind::Bgr24;
            bytesPerPixel_ = 3;
            break;
        case PixelFormat::Rgb24:
            kind_ = Kind::Rgb24;
            bytesPerPixel_ = 3;
            break;
        case PixelFormat::Bgr32:
            kind_ = Kind::Bgr32;
            bytesPerPixel_ = 4;
            break;
        case PixelFormat::Rgb32:
            kind_ = Kind::Rgb32;
            bytesPerPixel_ = 4;
            break;
    }
    return SUCCESS;
}

void PaintSource::PrepareColumns(const std::int32_t* xs, int count, Columns* columns) const {
    columns->xs.assign(xs, xs + count);
    columns->offsets.resize(static_cast<std::size_t>(count));
    // Memory (row, col) is affine in displayed (x, y), so a pixel's byte offset splits into a
    // part of x (here) and a part of y (ReadRow).
    for (int i = 0; i < count; ++i)
        columns->offsets[static_cast<std::size_t>(i)] =
            map_.a * std::int64_t{xs[i]} * view_.stride +
            map_.d * std::int64_t{xs[i]} * bytesPerPixel_;
}

void PaintSource::ReadRow(const Columns& columns, std::int32_t y, std::uint32_t* out) const {
    const std::size_t count = columns.xs.size();
    if (kind_ == Kind::Packed) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto [row, col] = map_(columns.xs[i], y);
            out[i] = table_[ReadIndex(view_.RowBytes(static_cast<int>(row)), static_cast<int>(col),
                                      view_.bits)];
        }
        return;
    }
    const std::int64_t rowPart = (map_.b * std::int64_t{y} + map_.c) * view_.stride +
                                 (map_.e * std::int64_t{y} + map_.f) * bytesPerPixel_;
    const std::uint8_t* base = view_.data + rowPart;
    const std::int64_t* offsets = columns.offsets.data();
    const std::uint32_t* table = table_.data();
    switch (kind_) {
        case Kind::Index8:
            Gather(base, offsets, count, out, [table](const std::uint8_t* p) { return table[*p]; });
            break;
        case Kind::Word:
            Gather(base, offsets, count, out, [table](const std::uint8_t* p) {
                std::uint16_t word;
                std::memcpy(&word, p, 2);
                return table[word];
            });
            break;
        case Kind::Bgr24:
        case Kind::Bgr32:
            Gather(base, offsets, count, out,
                   [](const std::uint8_t* p) { return PixelOf(p[2], p[1], p[0]); });
            break;
        case Kind::Rgb24:
        case Kind::Rgb32:
            Gather(base, offsets, count, out,
                   [](const std::uint8_t* p) { return PixelOf(p[0], p[1], p[2]); });
            break;
        case Kind::Packed: break;
    }
}

}  // namespace engine
