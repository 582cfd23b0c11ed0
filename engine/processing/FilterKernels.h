// Pieces the neighbourhood filters share: a bitmap's samples as one interleaved plane, the
// unfiltered source rows around the one being written, the plain per-pixel evaluation that the
// fast kernels are checked against, and the reference entry points the tests call.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "engine/Bitmap.h"
#include "engine/PixelView.h"
#include "engine/Status.h"

namespace engine {

// Plain per-pixel evaluations of the filters with the public operations' arguments and checks;
// the fast kernels must match them bit for bit.
int MedianFilterReference(BITMAPHANDLE* bitmap, int dimension);
int SharpenReference(BITMAPHANDLE* bitmap, int change);
int OutlierMedianReference(BITMAPHANDLE* bitmap);
int SpatialFilterReference(BITMAPHANDLE* bitmap, int filter);
int EmbossReference(BITMAPHANDLE* bitmap, unsigned direction, unsigned depth);

namespace filters {

// Interleaved samples: `channels` per pixel in memory, of which the first `filtered` are
// filtered; the rest (the fourth byte of a 32-bit pixel) is never written. Samples 0 … max.
template <class T>
struct Plane {
    T* data = nullptr;
    std::ptrdiff_t stride = 0;  // samples from one row to the next
    int width = 0;
    int height = 0;
    int channels = 1;
    int filtered = 1;
    unsigned max = 0;

    T* Row(int y) const { return data + static_cast<std::ptrdiff_t>(y) * stride; }
    std::ptrdiff_t RowSamples() const { return static_cast<std::ptrdiff_t>(width) * channels; }
};

// Samples of an image that cannot be filtered as stored, in the bitmap's own sample space
// (SpaceOf: grey levels, or red, green and blue), in memory of their own.
struct ConvertedSamples {
    std::vector<std::uint16_t> samples;
    Plane<std::uint16_t> plane;
};

// SUCCESS or ERROR_NO_MEMORY.
int ReadSamples(const BITMAPHANDLE& bitmap, const PixelView& view, ConvertedSamples* out);
// Stores the samples back; palette images get the nearest entry. SUCCESS or ERROR_NO_MEMORY.
int WriteSamples(const BITMAPHANDLE& bitmap, const PixelView& view, const ConvertedSamples& in);

// 8-bit indices on the ascending grey ramp: each index is its own level.
bool IsRampIndexed(const BITMAPHANDLE& bitmap, PixelFormat format);

// The pixel memory of an unpacked image as a plane.
template <class T>
Plane<T> PlaneOf(const PixelView& view, int channels, int filtered, unsigned max) {
    Plane<T> plane;
    plane.data = reinterpret_cast<T*>(view.data);
    plane.stride = view.stride / static_cast<std::ptrdiff_t>(sizeof(T));
    plane.width = view.width;
    plane.height = view.height;
    plane.channels = channels;
    plane.filtered = filtered;
    plane.max = max;
    return plane;
}

// Calls fn(const Plane<uint8_t>&) or fn(const Plane<uint16_t>&) with the image's samples and
// returns its status: the pixel memory itself for grey 12/16-bit, ramp-indexed 8-bit and 24/32-bit
// colour; for other palettes and RGB555 a converted copy that is written back when fn succeeds.
// Allocation failures give ERROR_NO_MEMORY, any other exception FAILURE.
template <class Fn>
int WithSamplePlane(BITMAPHANDLE* bitmap, const PixelView& view, Fn&& fn) {
    try {
        switch (view.format) {
            case PixelFormat::Gray12: return fn(PlaneOf<std::uint16_t>(view, 1, 1, 4095));
            case PixelFormat::Gray16: return fn(PlaneOf<std::uint16_t>(view, 1, 1, 65535));
            case PixelFormat::Rgb24:
            case PixelFormat::Bgr24:
            case PixelFormat::Rgb32:
            case PixelFormat::Bgr32: return fn(PlaneOf<std::uint8_t>(view, view.bits / 8, 3, 255));
            default: break;
        }
        if (IsRampIndexed(*bitmap, view.format)) return fn(PlaneOf<std::uint8_t>(view, 1, 1, 255));
        ConvertedSamples converted;
        if (const int status = ReadSamples(*bitmap, view, &converted); status != SUCCESS) {
            return status;
        }
        if (const int status = fn(converted.plane); status != SUCCESS) return status;
        return WriteSamples(*bitmap, view, converted);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    } catch (...) {
        return FAILURE;
    }
}

// What stands in for pixels beyond the image edge: the edge pixel repeated (the filters' rule),
// or the image mirrored about the edge pixel (for the speckle test, which must not compare a
// border pixel with copies of itself).
enum class Edge { Repeat, Mirror };

// Index i of 0 … count − 1 with the edge rule applied outside.
inline int EdgeIndex(int i, int count, Edge edge) {
    if (edge == Edge::Repeat || count == 1) return std::clamp(i, 0, count - 1);
    const int period = 2 * count - 2;
    i = std::abs(i) % period;
    return i < count ? i : period - i;
}

// The unfiltered rows around the one being written, for filters that write over their input:
// rows y − radius … y + radius, each with radius pixels beyond either edge and samples above max
// read as max. A ring of 2 × radius + 1 rows, so every row is copied once.
template <class T>
class SourceRows {
public:
    SourceRows(const Plane<T>& plane, int radius, Edge edge = Edge::Repeat)
        : plane_(plane),
          edge_(edge),
          radius_(radius),
          count_(2 * radius + 1),
          span_(static_cast<std::ptrdiff_t>(plane.width + 2 * radius) * plane.channels),
          ring_(static_cast<std::size_t>(span_) * count_) {}

    // Makes rows y − radius … y + radius available. Call for y = 0, 1, 2 … in turn, each time
    // before the image's row y is overwritten.
    void Advance(int y) {
        if (y == 0) {
            for (int row = -radius_; row <= radius_; ++row) Load(row);
        } else {
            Load(y + radius_);
        }
    }

    // Row y (within radius of the last Advance) at its first pixel; pixels −radius … −1 and
    // width … width + radius − 1 lie beyond the edge.
    const T* Row(int y) const {
        return Slot(y) + static_cast<std::ptrdiff_t>(radius_) * plane_.channels;
    }

private:
    std::ptrdiff_t SlotIndex(int y) const {
        const int index = y % count_;
        return index < 0 ? index + count_ : index;
    }
    const T* Slot(int y) const { return ring_.data() + SlotIndex(y) * span_; }

    void Load(int y) {
        T* out = ring_.data() + SlotIndex(y) * span_;
        const int source = EdgeIndex(y, plane_.height, edge_);
        if (y >= plane_.height) {
            // Rows beyond the bottom stand for rows that may be written over by now; their
            // unfiltered copies are still in the ring.
            std::copy_n(Slot(source), span_, out);
            return;
        }
        const T* in = plane_.Row(source);
        const int channels = plane_.channels;
        const std::ptrdiff_t samples = plane_.RowSamples();
        T* middle = out + static_cast<std::ptrdiff_t>(radius_) * channels;
        if (plane_.max >= std::numeric_limits<T>::max()) {
            std::copy_n(in, samples, middle);
        } else {
            const T max = static_cast<T>(plane_.max);
            for (std::ptrdiff_t i = 0; i < samples; ++i) middle[i] = std::min(in[i], max);
        }
        const int width = plane_.width;
        for (int i = 1; i <= radius_; ++i) {
            const auto pixel = [&](int x) {
                return middle + static_cast<std::ptrdiff_t>(EdgeIndex(x, width, edge_)) * channels;
            };
            std::copy_n(pixel(-i), channels, middle - static_cast<std::ptrdiff_t>(i) * channels);
            std::copy_n(pixel(width - 1 + i), channels,
                        middle + static_cast<std::ptrdiff_t>(width - 1 + i) * channels);
        }
    }

    Plane<T> plane_;
    Edge edge_;
    int radius_;
    int count_;
    std::ptrdiff_t span_;
    std::vector<T> ring_;
};

// Copies the filtered samples of each pixel of one computed row into the image's row y.
template <class T>
void StoreFiltered(const Plane<T>& plane, int y, const T* samples) {
    T* out = plane.Row(y);
    for (int x = 0; x < plane.width; ++x) {
        for (int c = 0; c < plane.filtered; ++c) {
            const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(x) * plane.channels + c;
            out[i] = samples[i];
        }
    }
}

// Runs row(source, y, out) for y = 0 … height − 1 with the source rows around y; the function
// computes the width × channels samples of row y into out (the image row itself, or a spare row
// for 32-bit pixels, whose fourth byte must not be stored).
template <class T, class RowFn>
void FilterRows(const Plane<T>& plane, int radius, RowFn&& row, Edge edge = Edge::Repeat) {
    SourceRows<T> source(plane, radius, edge);
    const bool spill = plane.channels != plane.filtered;
    std::vector<T> spare(spill ? static_cast<std::size_t>(plane.RowSamples()) : 0);
    for (int y = 0; y < plane.height; ++y) {
        source.Advance(y);
        T* out = spill ? spare.data() : plane.Row(y);
        row(static_cast<const SourceRows<T>&>(source), y, out);
        if (spill) StoreFiltered(plane, y, spare.data());
    }
}

// The plain evaluation: each filtered sample becomes value(at, x, y), where at(dx, dy) reads the
// same channel at (x + dx, y + dy) of the unfiltered image, the edge rule applied outside it
// and samples above max read as max.
template <class T, class Fn>
void ReferencePerPixel(const Plane<T>& plane, Fn&& value, Edge edge = Edge::Repeat) {
    const int width = plane.width, height = plane.height, channels = plane.channels;
    const std::ptrdiff_t samples = plane.RowSamples();
    std::vector<T> copy(static_cast<std::size_t>(samples) * height);
    for (int y = 0; y < height; ++y) {
        for (std::ptrdiff_t i = 0; i < samples; ++i) {
            copy[y * samples + i] = static_cast<T>(std::min<unsigned>(plane.Row(y)[i], plane.max));
        }
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < plane.filtered; ++c) {
                const auto at = [&](int dx, int dy) -> unsigned {
                    const std::ptrdiff_t row = EdgeIndex(y + dy, height, edge);
                    const std::ptrdiff_t col = EdgeIndex(x + dx, width, edge);
                    return copy[row * samples + col * channels + c];
                };
                plane.Row(y)[static_cast<std::ptrdiff_t>(x) * channels + c] =
                    static_cast<T>(value(at, x, y));
            }
        }
    }
}

// The fast row kernels are compiled twice, for the baseline and for AVX2, and chosen per call.
inline bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// a / b rounded toward minus infinity, for b > 0.
inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

}  // namespace filters
}  // namespace engine
