#include "engine/kernel/PixelConvert.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/Status.h"
#include "engine/kernel/PixelColor.h"

namespace engine {
namespace {

int PaletteBits(PixelFormat format) {
    return format == PixelFormat::Index1 ? 1 : format == PixelFormat::Index4 ? 4 : 8;
}

bool AllEntriesGrey(const BITMAPHANDLE& bitmap, int bits) {
    for (unsigned i = 0; i < (1u << bits); ++i) {
        const RGBQUAD entry = PaletteEntry(bitmap, bits, i);
        if (entry.rgbRed != entry.rgbGreen || entry.rgbGreen != entry.rgbBlue) return false;
    }
    return true;
}

std::uint32_t Luma(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return GrayLevelOf(MakeColor(red, green, blue));
}

std::ptrdiff_t Offset(const PixelWalk& walk, std::ptrdiff_t stride, std::ptrdiff_t unitBytes,
                      int i) {
    return (walk.row + static_cast<std::ptrdiff_t>(walk.rowStep) * i) * stride +
           (walk.col + static_cast<std::ptrdiff_t>(walk.colStep) * i) * unitBytes;
}

// fn(i, pixel bytes) for each pixel of the walk in an unpacked format of unitBytes per pixel.
template <class Byte, class Fn>
void ForEachPixel(Byte* data, std::ptrdiff_t stride, int unitBytes, const PixelWalk& walk,
                  Fn&& fn) {
    const std::ptrdiff_t start = Offset(walk, stride, unitBytes, 0);
    const std::ptrdiff_t step =
        walk.rowStep * stride + static_cast<std::ptrdiff_t>(walk.colStep) * unitBytes;
    for (int i = 0; i < walk.count; ++i) fn(i, data + start + step * i);
}

std::uint16_t Load16(const std::uint8_t* pixel) {
    std::uint16_t word;
    std::memcpy(&word, pixel, sizeof word);
    return word;
}

void Store16(std::uint8_t* pixel, std::uint16_t word) { std::memcpy(pixel, &word, sizeof word); }

}  // namespace

SampleSpace SpaceOf(const BITMAPHANDLE& bitmap, PixelFormat format) {
    switch (format) {
        case PixelFormat::Gray12: return {1, 4095};
        case PixelFormat::Gray16: return {1, 65535};
        case PixelFormat::Index1:
        case PixelFormat::Index4:
        case PixelFormat::Index8:
            return AllEntriesGrey(bitmap, PaletteBits(format)) ? SampleSpace{1, 255}
                                                               : SampleSpace{3, 255};
        case PixelFormat::Rgb555: return {3, 31};
        default: return {3, 255};
    }
}

int SampleReader::Init(const BITMAPHANDLE& bitmap, const ConstPixelView& view,
                       SampleSpace space) noexcept {
    view_ = view;
    space_ = space;
    rgbOrder_ = view.format == PixelFormat::Rgb24 || view.format == PixelFormat::Rgb32;
    for (std::uint32_t level = 0; level < 256; ++level) {
        fromLevel8_[level] = static_cast<std::uint16_t>(RescaleLevel(level, 255, space.max));
    }
    const auto channelOf8 = [&](std::uint32_t level8) {
        return static_cast<std::uint16_t>(RescaleLevel(level8, 255, space.max));
    };
    try {
        table_.clear();
        deepIdentity_ = false;
        if (IsPaletteFormat(view.format)) {
            const int bits = PaletteBits(view.format);
            table_.resize((std::size_t{1} << bits) * space.channels);
            for (unsigned i = 0; i < (1u << bits); ++i) {
                const RGBQUAD entry = PaletteEntry(bitmap, bits, i);
                std::uint16_t* samples = &table_[i * space.channels];
                if (space.channels == 1) {
                    samples[0] = fromLevel8_[Luma(entry.rgbRed, entry.rgbGreen, entry.rgbBlue)];
                } else {
                    samples[0] = channelOf8(entry.rgbRed);
                    samples[1] = channelOf8(entry.rgbGreen);
                    samples[2] = channelOf8(entry.rgbBlue);
                }
            }
        } else if (IsGrayFormat(view.format)) {
            const std::uint32_t sourceMax = view.format == PixelFormat::Gray12 ? 4095 : 65535;
            deepIdentity_ = space.channels == 1 && space.max == sourceMax;
            if (!deepIdentity_) {
                // Colour spaces take the sample at 8 bits, as every grey-to-colour conversion does.
                table_.resize(sourceMax + 1);
                for (std::uint32_t v = 0; v <= sourceMax; ++v) {
                    table_[v] = static_cast<std::uint16_t>(
                        space.channels == 1 ? RescaleLevel(v, sourceMax, space.max)
                                            : channelOf8(RescaleLevel(v, sourceMax, 255)));
                }
            }
        }
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    return SUCCESS;
}

void SampleReader::Read(const PixelWalk& walk, std::uint16_t* out) const {
    const int channels = space_.channels;
    const auto put = [&](int i, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
        std::uint16_t* samples = out + static_cast<std::ptrdiff_t>(i) * channels;
        samples[0] = static_cast<std::uint16_t>(red);
        if (channels == 3) {
            samples[1] = static_cast<std::uint16_t>(green);
            samples[2] = static_cast<std::uint16_t>(blue);
        }
    };
    switch (view_.format) {
        case PixelFormat::Index1:
        case PixelFormat::Index4:
        case PixelFormat::Index8: {
            const int bits = view_.bits;
            for (int i = 0; i < walk.count; ++i) {
                const std::uint8_t* row =
                    view_.data +
                    (walk.row + static_cast<std::ptrdiff_t>(walk.rowStep) * i) * view_.stride;
                const unsigned index = ReadIndex(row, walk.col + walk.colStep * i, bits);
                std::copy_n(&table_[index * channels], channels,
                            out + static_cast<std::ptrdiff_t>(i) * channels);
            }
            return;
        }
        case PixelFormat::Gray12:
        case PixelFormat::Gray16: {
            const std::uint32_t sourceMax = view_.format == PixelFormat::Gray12 ? 4095 : 65535;
            ForEachPixel(view_.data, view_.stride, 2, walk, [&](int i, const std::uint8_t* p) {
                const std::uint32_t v = std::min<std::uint32_t>(Load16(p), sourceMax);
                const std::uint32_t sample = deepIdentity_ ? v : table_[v];
                put(i, sample, sample, sample);
            });
            return;
        }
        case PixelFormat::Rgb555: {
            const bool keep5 = channels == 3 && space_.max == 31;
            ForEachPixel(view_.data, view_.stride, 2, walk, [&](int i, const std::uint8_t* p) {
                const std::uint32_t word = Load16(p);
                std::uint32_t red = (word >> 10) & 31, green = (word >> 5) & 31, blue = word & 31;
                if (keep5) {
                    put(i, red, green, blue);
                    return;
                }
                red = Expand5To8(red);
                green = Expand5To8(green);
                blue = Expand5To8(blue);
                if (channels == 1) {
                    put(i, fromLevel8_[Luma(red, green, blue)], 0, 0);
                } else {
                    put(i, RescaleLevel(red, 255, space_.max), RescaleLevel(green, 255, space_.max),
                        RescaleLevel(blue, 255, space_.max));
                }
            });
            return;
        }
        default: {
            const int bytes = view_.bits / 8;
            const int redByte = rgbOrder_ ? 0 : 2, blueByte = rgbOrder_ ? 2 : 0;
            const bool reduce = space_.max != 255;
            ForEachPixel(view_.data, view_.stride, bytes, walk, [&](int i, const std::uint8_t* p) {
                const std::uint32_t red = p[redByte], green = p[1], blue = p[blueByte];
                if (channels == 1) {
                    put(i, fromLevel8_[Luma(red, green, blue)], 0, 0);
                } else if (reduce) {
                    put(i, RescaleLevel(red, 255, space_.max), RescaleLevel(green, 255, space_.max),
                        RescaleLevel(blue, 255, space_.max));
                } else {
                    put(i, red, green, blue);
                }
            });
            return;
        }
    }
}

int SampleWriter::Init(const BITMAPHANDLE& bitmap, const PixelView& view) noexcept {
    view_ = view;
    space_ = SpaceOf(bitmap, view.format);
    rgbOrder_ = view.format == PixelFormat::Rgb24 || view.format == PixelFormat::Rgb32;
    entries_.clear();
    cache_.clear();
    if (!IsPaletteFormat(view.format)) return SUCCESS;
    const int bits = PaletteBits(view.format);
    try {
        if (space_.channels == 1) {
            for (std::uint32_t level = 0; level < 256; ++level) {
                unsigned best = 0, bestDistance = UINT32_MAX;
                for (unsigned i = 0; i < (1u << bits); ++i) {
                    const int entryLevel = PaletteEntry(bitmap, bits, i).rgbRed;
                    const auto distance =
                        static_cast<unsigned>(std::abs(entryLevel - static_cast<int>(level)));
                    if (distance < bestDistance) {
                        bestDistance = distance;
                        best = i;
                    }
                }
                greyIndex_[level] = static_cast<std::uint8_t>(best);
            }
        } else {
            entries_.resize(std::size_t{1} << bits);
            for (unsigned i = 0; i < entries_.size(); ++i) {
                entries_[i] = PaletteEntry(bitmap, bits, i);
            }
            cache_.assign(std::size_t{1} << 16, 0);
        }
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    return SUCCESS;
}

unsigned SampleWriter::NearestColourIndex(std::uint32_t red, std::uint32_t green,
                                          std::uint32_t blue) {
    // Images hold far fewer colours than pixels: a direct-mapped cache of searched colours keeps
    // the full search exact without running it per pixel. Bit 32 marks a used slot.
    const std::uint32_t colour = MakeColor(red, green, blue);
    const std::uint32_t slot = ((colour * 2654435761u) >> 16) & 0xFFFFu;
    const std::uint64_t tag = (std::uint64_t{1} << 32) | (std::uint64_t{colour} << 8);
    if ((cache_[slot] & ~std::uint64_t{0xFF}) == tag) return cache_[slot] & 0xFF;
    unsigned best = 0;
    std::uint32_t bestDistance = UINT32_MAX;
    for (unsigned i = 0; i < entries_.size(); ++i) {
        const int dr = entries_[i].rgbRed - static_cast<int>(red);
        const int dg = entries_[i].rgbGreen - static_cast<int>(green);
        const int db = entries_[i].rgbBlue - static_cast<int>(blue);
        const auto distance = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
            if (distance == 0) break;
        }
    }
    cache_[slot] = tag | best;
    return best;
}

void SampleWriter::Write(const PixelWalk& walk, const std::uint16_t* in) {
    const int channels = space_.channels;
    switch (view_.format) {
        case PixelFormat::Index1:
        case PixelFormat::Index4:
        case PixelFormat::Index8: {
            const int bits = view_.bits;
            for (int i = 0; i < walk.count; ++i) {
                const std::uint16_t* samples = in + static_cast<std::ptrdiff_t>(i) * channels;
                const unsigned index = channels == 1
                                           ? greyIndex_[std::min<std::uint16_t>(samples[0], 255)]
                                           : NearestColourIndex(samples[0], samples[1], samples[2]);
                std::uint8_t* row =
                    view_.data +
                    (walk.row + static_cast<std::ptrdiff_t>(walk.rowStep) * i) * view_.stride;
                WriteIndex(row, walk.col + walk.colStep * i, bits, index);
            }
            return;
        }
        case PixelFormat::Gray12:
        case PixelFormat::Gray16: {
            const auto max = static_cast<std::uint16_t>(space_.max);
            ForEachPixel(view_.data, view_.stride, 2, walk,
                         [&](int i, std::uint8_t* p) { Store16(p, std::min(in[i], max)); });
            return;
        }
        case PixelFormat::Rgb555:
            ForEachPixel(view_.data, view_.stride, 2, walk, [&](int i, std::uint8_t* p) {
                const std::uint16_t* s = in + static_cast<std::ptrdiff_t>(i) * 3;
                const auto word =
                    static_cast<std::uint16_t>((Load16(p) & 0x8000u) | ((s[0] & 31u) << 10) |
                                               ((s[1] & 31u) << 5) | (s[2] & 31u));
                Store16(p, word);
            });
            return;
        default: {
            const int bytes = view_.bits / 8;
            const int redByte = rgbOrder_ ? 0 : 2, blueByte = rgbOrder_ ? 2 : 0;
            ForEachPixel(view_.data, view_.stride, bytes, walk, [&](int i, std::uint8_t* p) {
                const std::uint16_t* s = in + static_cast<std::ptrdiff_t>(i) * 3;
                p[redByte] = static_cast<std::uint8_t>(s[0]);
                p[1] = static_cast<std::uint8_t>(s[1]);
                p[blueByte] = static_cast<std::uint8_t>(s[2]);
            });
            return;
        }
    }
}

}  // namespace engine
