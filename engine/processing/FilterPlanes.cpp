// Converted sample planes of the neighbourhood filters, for images whose memory cannot be
// filtered as stored (packed and colour palettes, RGB555).
#include "engine/kernel/PixelColor.h"
#include "engine/kernel/PixelConvert.h"
#include "engine/processing/FilterKernels.h"

namespace engine::filters {

namespace {

PixelWalk RowWalk(int y, int width) { return PixelWalk{y, 0, 0, 1, width}; }

}  // namespace

bool IsRampIndexed(const BITMAPHANDLE& bitmap, PixelFormat format) {
    return format == PixelFormat::Index8 &&
           (bitmap.pPalette == nullptr ||
            ClassifyPalette(bitmap.pPalette, bitmap.nColors, 8) == GRAY_ORDEREDNORMAL);
}

int ReadSamples(const BITMAPHANDLE& bitmap, const PixelView& view, ConvertedSamples* out) {
    const ConstPixelView source{view.width,  view.height, view.bits,
                                view.format, view.stride, view.data};
    const SampleSpace space = SpaceOf(bitmap, view.format);
    SampleReader reader;
    if (const int status = reader.Init(bitmap, source, space); status != SUCCESS) return status;
    Plane<std::uint16_t>& plane = out->plane;
    plane.width = view.width;
    plane.height = view.height;
    plane.channels = space.channels;
    plane.filtered = space.channels;
    plane.max = space.max;
    plane.stride = plane.RowSamples();
    try {
        out->samples.resize(static_cast<std::size_t>(plane.stride) * plane.height);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    plane.data = out->samples.data();
    for (int y = 0; y < plane.height; ++y) reader.Read(RowWalk(y, plane.width), plane.Row(y));
    return SUCCESS;
}

int WriteSamples(const BITMAPHANDLE& bitmap, const PixelView& view, const ConvertedSamples& in) {
    SampleWriter writer;
    if (const int status = writer.Init(bitmap, view); status != SUCCESS) return status;
    for (int y = 0; y < in.plane.height; ++y) {
        writer.Write(RowWalk(y, in.plane.width), in.plane.Row(y));
    }
    return SUCCESS;
}

}  // namespace engine::filters
