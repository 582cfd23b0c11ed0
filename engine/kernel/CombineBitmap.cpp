#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/Combine.h"
#include "engine/kernel/DisplayTransform.h"
#include "engine/kernel/PixelColor.h"
#include "engine/kernel/PixelConvert.h"

namespace {

struct CombineFlags {
    unsigned source = 0;       // COMBINE_SRC_* >> 0
    unsigned destination = 0;  // COMBINE_DST_* >> 4
    unsigned operation = 0;    // COMBINE_OP_* >> 8
    unsigned result = 0;       // COMBINE_RESULT_* >> 12
};

bool DecodeFlags(unsigned flags, CombineFlags* out) {
    if (flags > 0xFFFFu) return false;
    out->source = flags & 0xFu;
    out->destination = (flags >> 4) & 0xFu;
    out->operation = (flags >> 8) & 0xFu;
    out->result = (flags >> 12) & 0xFu;
    return out->source <= 3 && out->destination <= 3 &&
           out->operation <= (COMBINE_OP_DIFFERENCE >> 8) && out->result <= 1;
}

// A modifier (COMBINE_SRC_* / COMBINE_DST_* values shifted down) applied to a run of samples.
void Modify(std::uint16_t* samples, std::size_t count, unsigned modifier, std::uint32_t max) {
    switch (modifier) {
        case 1:
            for (std::size_t i = 0; i < count; ++i) {
                samples[i] = static_cast<std::uint16_t>(max - samples[i]);
            }
            break;
        case 2: std::fill_n(samples, count, std::uint16_t{0}); break;
        case 3: std::fill_n(samples, count, static_cast<std::uint16_t>(max)); break;
        default: break;
    }
}

// d[i] = s[i] op d[i]. Every result stays within 0 … max (max = 2^n − 1, so bitwise results do).
void Operate(unsigned operation, const std::uint16_t* s, std::uint16_t* d, std::size_t count,
             std::uint32_t max) {
    const auto each = [&](auto fn) {
        for (std::size_t i = 0; i < count; ++i) {
            d[i] = static_cast<std::uint16_t>(fn(std::uint32_t{s[i]}, std::uint32_t{d[i]}));
        }
    };
    switch (operation << 8) {
        case COMBINE_OP_AND: each([](std::uint32_t a, std::uint32_t b) { return a & b; }); break;
        case COMBINE_OP_OR: each([](std::uint32_t a, std::uint32_t b) { return a | b; }); break;
        case COMBINE_OP_XOR: each([](std::uint32_t a, std::uint32_t b) { return a ^ b; }); break;
        case COMBINE_OP_ADD:
            each([max](std::uint32_t a, std::uint32_t b) { return std::min(a + b, max); });
            break;
        case COMBINE_OP_SUB_SRC:
            each([](std::uint32_t a, std::uint32_t b) { return a > b ? a - b : 0u; });
            break;
        case COMBINE_OP_SUB_DST:
            each([](std::uint32_t a, std::uint32_t b) { return b > a ? b - a : 0u; });
            break;
        case COMBINE_OP_MULTIPLY:
            each([max](std::uint32_t a, std::uint32_t b) {
                return static_cast<std::uint32_t>((std::uint64_t{a} * b + max / 2) / max);
            });
            break;
        case COMBINE_OP_DIVIDE:
            each([max](std::uint32_t a, std::uint32_t b) -> std::uint32_t {
                if (a == 0) return b == 0 ? 0 : max;
                return static_cast<std::uint32_t>(
                    std::min<std::uint64_t>((std::uint64_t{b} * max + a / 2) / a, max));
            });
            break;
        case COMBINE_OP_AVERAGE:
            each([](std::uint32_t a, std::uint32_t b) { return (a + b + 1) / 2; });
            break;
        case COMBINE_OP_MIN:
            each([](std::uint32_t a, std::uint32_t b) { return std::min(a, b); });
            break;
        case COMBINE_OP_MAX:
            each([](std::uint32_t a, std::uint32_t b) { return std::max(a, b); });
            break;
        default:  // COMBINE_OP_DIFFERENCE
            each([](std::uint32_t a, std::uint32_t b) { return a > b ? a - b : b - a; });
            break;
    }
}

// ---- Fast copy of matching formats --------------------------------------------------------

// Formats whose stored pixels the sample conversion would reproduce unchanged (apart from the
// fixes the merge functions below apply): the copy can move pixels as they are.
bool CopiesAsStored(const BITMAPHANDLE& destination, engine::PixelFormat dstFormat,
                    const BITMAPHANDLE& source, engine::PixelFormat srcFormat) {
    if (dstFormat != srcFormat || engine::IsPackedFormat(dstFormat)) return false;
    if (dstFormat != engine::PixelFormat::Index8) return true;
    // 8-bit palettes: only the ascending grey ramp, where an index is its own level.
    const auto isRamp = [](const BITMAPHANDLE& b) {
        return b.pPalette == nullptr ||
               engine::ClassifyPalette(b.pPalette, std::min(b.nColors, 256u), 8) ==
                   GRAY_ORDEREDNORMAL;
    };
    return isRamp(destination) && isRamp(source);
}

struct Replace {};  // the stored pixel as it is

// Copies the pixels of one walk onto another of the same length; merge(old, new) gives the
// stored pixel. Runs along memory rows in one direction become memcpy for plain replacement.
template <class Unit, class Merge>
void CopyRun(const engine::ConstPixelView& src, const engine::PixelWalk& from,
             const engine::PixelView& dst, const engine::PixelWalk& to, Merge merge) {
    constexpr std::ptrdiff_t unit = sizeof(Unit);
    const bool alongRows = from.rowStep == 0 && to.rowStep == 0 && from.colStep == to.colStep &&
                           (from.colStep == 1 || from.colStep == -1);
    if (alongRows) {
        const int first = from.colStep == 1 ? 0 : from.count - 1;  // leftmost pixel of the run
        const std::uint8_t* in = src.RowBytes(from.row) + (from.col + from.colStep * first) * unit;
        std::uint8_t* out = dst.RowBytes(to.row) + (to.col + to.colStep * first) * unit;
        if constexpr (std::is_same_v<Merge, Replace>) {
            std::memcpy(out, in, static_cast<std::size_t>(from.count) * unit);
        } else {
            Unit* target = reinterpret_cast<Unit*>(out);
            const Unit* values = reinterpret_cast<const Unit*>(in);
            for (int i = 0; i < from.count; ++i) target[i] = merge(target[i], values[i]);
        }
        return;
    }
    const std::ptrdiff_t inStep = from.rowStep * src.stride + from.colStep * unit;
    const std::ptrdiff_t outStep = to.rowStep * dst.stride + to.colStep * unit;
    const std::uint8_t* in = src.RowBytes(from.row) + from.col * unit;
    std::uint8_t* out = dst.RowBytes(to.row) + to.col * unit;
    for (int i = 0; i < from.count; ++i) {
        Unit value;
        std::memcpy(&value, in + inStep * i, sizeof value);
        if constexpr (!std::is_same_v<Merge, Replace>) {
            Unit old;
            std::memcpy(&old, out + outStep * i, sizeof old);
            value = merge(old, value);
        }
        std::memcpy(out + outStep * i, &value, sizeof value);
    }
}

void CopyStoredRun(const engine::ConstPixelView& src, const engine::PixelWalk& from,
                   const engine::PixelView& dst, const engine::PixelWalk& to) {
    // The fourth byte of a 32-bit pixel, as a mask of the pixel read as one word.
    constexpr std::uint32_t kSpareByte =
        std::endian::native == std::endian::little ? 0xFF000000u : 0x000000FFu;
    switch (dst.format) {
        case engine::PixelFormat::Gray12:
            CopyRun<std::uint16_t>(src, from, dst, to, [](std::uint16_t, std::uint16_t value) {
                return std::min<std::uint16_t>(value, 4095);
            });
            break;
        case engine::PixelFormat::Rgb555:
            CopyRun<std::uint16_t>(src, from, dst, to, [](std::uint16_t old, std::uint16_t value) {
                return static_cast<std::uint16_t>((old & 0x8000u) | (value & 0x7FFFu));
            });
            break;
        case engine::PixelFormat::Rgb32:
        case engine::PixelFormat::Bgr32:
            CopyRun<std::uint32_t>(src, from, dst, to, [](std::uint32_t old, std::uint32_t value) {
                return (old & kSpareByte) | (value & ~kSpareByte);
            });
            break;
        case engine::PixelFormat::Rgb24:
        case engine::PixelFormat::Bgr24:
            CopyRun<engine::Pixel24>(src, from, dst, to, Replace{});
            break;
        case engine::PixelFormat::Gray16:
            CopyRun<std::uint16_t>(src, from, dst, to, Replace{});
            break;
        default:  // Index8 on the grey ramp
            CopyRun<std::uint8_t>(src, from, dst, to, Replace{});
            break;
    }
}

// Owns a temporary engine image.
struct Temporary {
    BITMAPHANDLE handle{};
    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() { engine::ReleaseStorage(handle); }
};

bool Overlaps(const engine::ConstPixelView& a, const engine::ConstPixelView& b) {
    const auto startA = reinterpret_cast<std::uintptr_t>(a.data);
    const auto startB = reinterpret_cast<std::uintptr_t>(b.data);
    const auto endA = startA + static_cast<std::uintptr_t>(a.stride) * a.height;
    const auto endB = startB + static_cast<std::uintptr_t>(b.stride) * b.height;
    return startA < endB && startB < endA;
}

engine::PixelWalk WalkAlongDisplayedRow(const engine::GridMap& toMemory, std::int64_t x,
                                        std::int64_t y, int count) {
    const auto [row, col] = toMemory(x, y);
    engine::PixelWalk walk;
    walk.row = static_cast<int>(row);
    walk.col = static_cast<int>(col);
    walk.rowStep = toMemory.a;  // one displayed column to the right
    walk.colStep = toMemory.d;
    walk.count = count;
    return walk;
}

int Combine(BITMAPHANDLE* destination, int xDst, int yDst, int width, int height,
            const BITMAPHANDLE* source, int xSrc, int ySrc, unsigned flags, bool fastCopy) {
    if (destination == nullptr || source == nullptr) return ERROR_NO_BITMAP;
    engine::PixelView dst;
    if (const int status = engine::AccessPixels(destination, &dst); status != SUCCESS) {
        return status;
    }
    engine::ConstPixelView src;
    if (const int status = engine::AccessPixels(source, &src); status != SUCCESS) return status;
    CombineFlags parts;
    if (width < 0 || height < 0 || !DecodeFlags(flags, &parts)) return ERROR_INV_PARAMETER;
    if (!engine::IsValidViewPerspective(destination->ViewPerspective) ||
        !engine::IsValidViewPerspective(source->ViewPerspective)) {
        return ERROR_INV_VIEW_PERSPECTIVE;
    }

    // Cut the rectangle to both displayed images.
    std::int64_t xd = xDst, yd = yDst, xs = xSrc, ys = ySrc, w = width, h = height;
    const std::int64_t shiftX = std::max({std::int64_t{0}, -xd, -xs});
    const std::int64_t shiftY = std::max({std::int64_t{0}, -yd, -ys});
    xd += shiftX, xs += shiftX, w -= shiftX;
    yd += shiftY, ys += shiftY, h -= shiftY;
    w = std::min({w, ViewWidth(*destination) - xd, ViewWidth(*source) - xs});
    h = std::min({h, ViewHeight(*destination) - yd, ViewHeight(*source) - ys});
    if (w <= 0 || h <= 0) return SUCCESS;

    // Reading from pixels this call writes: read a copy taken before.
    Temporary snapshot;
    const BITMAPHANDLE* from = source;
    if (Overlaps(src, engine::ConstPixelView{dst.width, dst.height, dst.bits, dst.format,
                                             dst.stride, dst.data})) {
        if (const int status = L_CopyBitmap(&snapshot.handle, source, BITMAPHANDLE_STRUCT_SIZE);
            status != SUCCESS) {
            return status;
        }
        from = &snapshot.handle;
        engine::AccessPixels(from, &src);
    }

    const engine::GridMap dstMap =
        engine::DisplayToMemory(destination->ViewPerspective, dst.width, dst.height);
    const engine::GridMap srcMap =
        engine::DisplayToMemory(from->ViewPerspective, src.width, src.height);
    const int count = static_cast<int>(w);

    if (fastCopy && flags == COMBINE_COPY &&
        CopiesAsStored(*destination, dst.format, *from, src.format)) {
        for (std::int64_t y = 0; y < h; ++y) {
            CopyStoredRun(src, WalkAlongDisplayedRow(srcMap, xs, ys + y, count), dst,
                          WalkAlongDisplayedRow(dstMap, xd, yd + y, count));
        }
        return SUCCESS;
    }

    engine::SampleWriter writer;
    engine::SampleReader sourceReader, destinationReader;
    engine::ConstPixelView dstAsSource{dst.width,  dst.height, dst.bits,
                                       dst.format, dst.stride, dst.data};
    if (const int status = writer.Init(*destination, dst); status != SUCCESS) return status;
    const engine::SampleSpace space = writer.Space();
    if (const int status = sourceReader.Init(*from, src, space); status != SUCCESS) return status;
    if (const int status = destinationReader.Init(*destination, dstAsSource, space);
        status != SUCCESS) {
        return status;
    }
    std::vector<std::uint16_t> s, d;
    const std::size_t samples = static_cast<std::size_t>(count) * space.channels;
    try {
        s.resize(samples);
        d.resize(samples);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    // Modifiers that replace a sample make reading it unnecessary.
    const bool readSource = parts.source <= 1, readDestination = parts.destination <= 1;
    for (std::int64_t y = 0; y < h; ++y) {
        const engine::PixelWalk fromWalk = WalkAlongDisplayedRow(srcMap, xs, ys + y, count);
        const engine::PixelWalk toWalk = WalkAlongDisplayedRow(dstMap, xd, yd + y, count);
        if (readSource) sourceReader.Read(fromWalk, s.data());
        if (readDestination) destinationReader.Read(toWalk, d.data());
        Modify(s.data(), samples, parts.source, space.max);
        Modify(d.data(), samples, parts.destination, space.max);
        Operate(parts.operation, s.data(), d.data(), samples, space.max);
        if (parts.result == 1) Modify(d.data(), samples, 1, space.max);
        writer.Write(toWalk, d.data());
    }
    return SUCCESS;
}

}  // namespace

int L_CombineBitmap(BITMAPHANDLE* destination, int xDst, int yDst, int width, int height,
                    const BITMAPHANDLE* source, int xSrc, int ySrc, unsigned flags) {
    return Combine(destination, xDst, yDst, width, height, source, xSrc, ySrc, flags, true);
}

namespace engine {

int CombineBitmapConverted(BITMAPHANDLE* destination, int xDst, int yDst, int width, int height,
                           const BITMAPHANDLE* source, int xSrc, int ySrc, unsigned flags) {
    return Combine(destination, xDst, yDst, width, height, source, xSrc, ySrc, flags, false);
}

}  // namespace engine
