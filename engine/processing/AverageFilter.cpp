#include <algorithm>
#include <vector>

#include "engine/PixelView.h"
#include "engine/Processing.h"

namespace {

// Box mean of one channel: horizontal window sums, then a running vertical sum per column.
// The sums are exact integers, so the result does not depend on evaluation order.
template <class Sample>
void BoxMean(const engine::PixelView& view, int channels, int channel, int size) {
    const int width = view.width, height = view.height;
    const int before = size / 2, after = size - 1 - before;  // window: x − before … x + after
    std::vector<std::uint32_t> rowSums(static_cast<std::size_t>(width) * height);
    std::vector<std::uint32_t> line(static_cast<std::size_t>(width + size));
    const auto sampleAt = [&](int y, int x) -> std::uint32_t {
        return view.Row<Sample>(y)[static_cast<std::ptrdiff_t>(x) * channels + channel];
    };
    for (int y = 0; y < height; ++y) {
        for (int i = 0; i < width + size - 1; ++i) {
            line[i] = sampleAt(y, std::clamp(i - before, 0, width - 1));
        }
        std::uint64_t sum = 0;
        for (int i = 0; i < size; ++i) sum += line[i];
        std::uint32_t* out = &rowSums[static_cast<std::size_t>(y) * width];
        for (int x = 0; x < width; ++x) {
            out[x] = static_cast<std::uint32_t>(sum);
            if (x + 1 < width) sum += line[x + size] - std::uint64_t{line[x]};
        }
    }
    const std::uint64_t count = static_cast<std::uint64_t>(size) * size;
    std::vector<std::uint64_t> columnSums(width, 0);
    const auto rowAt = [&](int y) {
        return &rowSums[static_cast<std::size_t>(std::clamp(y, 0, height - 1)) * width];
    };
    for (int k = -before; k <= after; ++k) {
        const std::uint32_t* r = rowAt(k);
        for (int x = 0; x < width; ++x) columnSums[x] += r[x];
    }
    for (int y = 0; y < height; ++y) {
        Sample* out = view.Row<Sample>(y);
        for (int x = 0; x < width; ++x) {
            out[static_cast<std::ptrdiff_t>(x) * channels + channel] =
                static_cast<Sample>((columnSums[x] + count / 2) / count);
        }
        if (y + 1 < height) {
            const std::uint32_t* leaving = rowAt(y - before);
            const std::uint32_t* entering = rowAt(y + after + 1);
            for (int x = 0; x < width; ++x)
                columnSums[x] += entering[x] - std::uint64_t{leaving[x]};
        }
    }
}

}  // namespace

int L_AverageFilterBitmap(BITMAPHANDLE* bitmap, int dimension) {
    engine::PixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (dimension < 1 || dimension > 32767) return ERROR_INV_PARAMETER;
    if (engine::IsPackedFormat(view.format) || view.format == engine::PixelFormat::Rgb555) {
        return ERROR_BITPERPIXEL;
    }
    try {
        if (engine::IsGrayFormat(view.format)) {
            BoxMean<std::uint16_t>(view, 1, 0, dimension);
        } else {
            const int channels = view.bits / 8;
            // The fourth byte of a 32-bit pixel is not colour.
            for (int ch = 0; ch < std::min(channels, 3); ++ch) {
                engine::PixelView bytes = view;
                bytes.bits = 8;
                BoxMean<std::uint8_t>(bytes, channels, ch, dimension);
            }
        }
    } catch (...) {
        return ERROR_NO_MEMORY;
    }
    return SUCCESS;
}
