// Depth conversion for the savers: any bitmap to top-down grey or RGB samples of 8 or 16 bits.
// Deep grey becomes 8 bits through the bitmap's significant bits (LowBit … HighBit); colour
// becomes grey by luminance; grey becomes colour by repeating the level.
#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/PixelView.h"
#include "engine/file/Codec.h"
#include "engine/kernel/GreyRamp.h"

namespace engine::file {
namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

std::uint8_t Luminance(Rgb c) {
    return static_cast<std::uint8_t>((299 * c.r + 587 * c.g + 114 * c.b + 500) / 1000);
}

// Writes one pixel given as a 16-bit grey level (deep sources) or a colour.
class PixelSink {
public:
    PixelSink(SampleImage* image) : image_(image) {}
    void Row(int y) { cursor_ = image_->data.data() + image_->RowBytes() * y; }
    void Gray16(std::uint16_t raw, std::uint8_t level8) {
        if (image_->bitsPerSample == 16 && image_->channels == 1) {
            std::memcpy(cursor_, &raw, 2);
            cursor_ += 2;
        } else {
            Color(Rgb{level8, level8, level8}, true);
        }
    }
    void Color(Rgb c, bool gray) {
        if (image_->channels == 3) {
            *cursor_++ = c.r;
            *cursor_++ = c.g;
            *cursor_++ = c.b;
            return;
        }
        const std::uint8_t level = gray ? c.r : Luminance(c);
        if (image_->bitsPerSample == 16) {
            const std::uint16_t wide = static_cast<std::uint16_t>(level * 257);
            std::memcpy(cursor_, &wide, 2);
            cursor_ += 2;
        } else {
            *cursor_++ = level;
        }
    }

private:
    SampleImage* image_;
    std::uint8_t* cursor_ = nullptr;
};

// The bits of a deep grey sample that carry the image: LowBit … HighBit, within the format.
std::pair<int, int> SignificantRange(const BITMAPHANDLE& bitmap, PixelFormat format) {
    const int top = format == PixelFormat::Gray12 ? 11 : 15;
    const int low = std::clamp(bitmap.LowBit, 0, top);
    return {low, bitmap.HighBit < 0 ? top : std::clamp(bitmap.HighBit, low, top)};
}

// One row of deep grey to 8 bits: the significant bits from low up, saturated, scaled to 8.
void NarrowRow(const std::uint16_t* __restrict row, std::uint8_t* __restrict target, int width,
               int low, std::uint16_t maximum, int down, int up) {
    if (up == 0) {
        // Eight or more significant bits: min(v >> low, max) >> down is min(v >> (low + down),
        // 255), one shift and one compare that vectorise well.
        const int shift = low + down;
        for (int x = 0; x < width; ++x) {
            const auto level = static_cast<std::uint16_t>(row[x] >> shift);
            target[x] = static_cast<std::uint8_t>(level > 255 ? 255 : level);
        }
        return;
    }
    for (int x = 0; x < width; ++x) {
        std::uint16_t level = static_cast<std::uint16_t>(row[x] >> low);
        level = level > maximum ? maximum : level;
        target[x] = static_cast<std::uint8_t>((level >> down) << up);
    }
}

}  // namespace

int ToSamples(const BITMAPHANDLE& bitmap, int channels, int bitsPerSample, SampleImage* out) {
    ConstPixelView view;
    const int access = AccessPixels(&bitmap, &view);
    if (access != SUCCESS) return access;
    if (!((channels == 1 && (bitsPerSample == 8 || bitsPerSample == 16)) ||
          (channels == 3 && bitsPerSample == 8)))
        return ERROR_BITPERPIXEL;
    out->width = view.width;
    out->height = view.height;
    out->channels = channels;
    out->bitsPerSample = bitsPerSample;
    out->xResolution = bitmap.XResolution;
    out->yResolution = bitmap.YResolution;
    out->significantBits = bitsPerSample;
    out->borrowed = nullptr;
    // Rows that follow each other top-down at exactly the sample width can be used as they are.
    const bool packed =
        view.height == 1 ||
        view.RowBytes(1) == view.RowBytes(0) + static_cast<std::ptrdiff_t>(out->RowBytes());
    const bool same =
        (channels == 1 && bitsPerSample == 16 &&
         (view.format == PixelFormat::Gray12 || view.format == PixelFormat::Gray16)) ||
        (channels == 3 && view.format == PixelFormat::Rgb24);
    if (same && packed) {
        out->data.clear();
        out->borrowed = view.RowBytes(0);
        if (channels == 1) out->significantBits = SignificantRange(bitmap, view.format).second + 1;
        return SUCCESS;
    }
    out->data.assign(out->RowBytes() * view.height, 0);
    PixelSink sink(out);

    switch (view.format) {
        case PixelFormat::Gray12:
        case PixelFormat::Gray16: {
            const auto [low, high] = SignificantRange(bitmap, view.format);
            const int span = high - low + 1;
            const unsigned maximum = (1u << span) - 1;
            if (channels == 1 && bitsPerSample == 16) {
                out->significantBits = high + 1;
                for (int y = 0; y < view.height; ++y)
                    std::memcpy(out->data.data() + out->RowBytes() * y, view.Row<std::uint16_t>(y),
                                out->RowBytes());
                return SUCCESS;
            }
            if (channels == 1) {
                // The common 8-bit save of a deep frame, kept free of branches so it vectorises.
                const int down = span >= 8 ? span - 8 : 0, up = span >= 8 ? 0 : 8 - span;
                for (int y = 0; y < view.height; ++y)
                    NarrowRow(view.Row<std::uint16_t>(y), out->data.data() + out->RowBytes() * y,
                              view.width, low, static_cast<std::uint16_t>(maximum), down, up);
                return SUCCESS;
            }
            for (int y = 0; y < view.height; ++y) {
                sink.Row(y);
                const std::uint16_t* row = view.Row<std::uint16_t>(y);
                for (int x = 0; x < view.width; ++x) {
                    const unsigned level = std::min<unsigned>(row[x] >> low, maximum);
                    const auto level8 = static_cast<std::uint8_t>(span >= 8 ? level >> (span - 8)
                                                                            : level << (8 - span));
                    sink.Gray16(row[x], level8);
                }
            }
            return SUCCESS;
        }
        case PixelFormat::Index1:
        case PixelFormat::Index4:
        case PixelFormat::Index8: {
            const unsigned count = 1u << view.bits;
            Rgb palette[256];
            bool gray = true;
            for (unsigned i = 0; i < count; ++i) {
                if (bitmap.pPalette && i < bitmap.nColors) {
                    const RGBQUAD q = bitmap.pPalette[i];
                    palette[i] = Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
                } else {
                    const std::uint8_t level = GreyRampLevel(i, count);
                    palette[i] = Rgb{level, level, level};
                }
                gray = gray && palette[i].r == palette[i].g && palette[i].g == palette[i].b;
            }
            for (int y = 0; y < view.height; ++y) {
                sink.Row(y);
                const std::uint8_t* row = view.RowBytes(y);
                for (int x = 0; x < view.width; ++x)
                    sink.Color(palette[ReadIndex(row, x, view.bits)], gray);
            }
            return SUCCESS;
        }
        case PixelFormat::Rgb555:
            for (int y = 0; y < view.height; ++y) {
                sink.Row(y);
                const std::uint16_t* row = view.Row<std::uint16_t>(y);
                for (int x = 0; x < view.width; ++x) {
                    const auto five = [](unsigned v) {
                        return static_cast<std::uint8_t>((v << 3) | (v >> 2));
                    };
                    sink.Color(
                        Rgb{five((row[x] >> 10) & 31), five((row[x] >> 5) & 31), five(row[x] & 31)},
                        false);
                }
            }
            return SUCCESS;
        case PixelFormat::Rgb24:
        case PixelFormat::Bgr24:
        case PixelFormat::Rgb32:
        case PixelFormat::Bgr32: {
            const bool rgb = view.format == PixelFormat::Rgb24 || view.format == PixelFormat::Rgb32;
            const int step = view.bits / 8;
            if (channels == 3 && step == 3) {
                for (int y = 0; y < view.height; ++y) {
                    const std::uint8_t* p = view.RowBytes(y);
                    std::uint8_t* target = out->data.data() + out->RowBytes() * y;
                    if (rgb) {
                        std::memcpy(target, p, out->RowBytes());
                        continue;
                    }
                    for (int x = 0; x < view.width; ++x, p += 3, target += 3)
                        target[0] = p[2], target[1] = p[1], target[2] = p[0];
                }
                return SUCCESS;
            }
            for (int y = 0; y < view.height; ++y) {
                sink.Row(y);
                const std::uint8_t* p = view.RowBytes(y);
                for (int x = 0; x < view.width; ++x, p += step)
                    sink.Color(rgb ? Rgb{p[0], p[1], p[2]} : Rgb{p[2], p[1], p[0]}, false);
            }
            return SUCCESS;
        }
    }
    return ERROR_BITPERPIXEL;
}

}  // namespace engine::file
