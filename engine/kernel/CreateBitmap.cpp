#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapLayout.h"
#include "engine/kernel/BitmapStorage.h"
#include "engine/kernel/GreyRamp.h"

namespace {

bool IsColourOrderRgb(unsigned order) {
    return order == ORDER_RGB || order == ORDER_RGBORGRAY || order == ORDER_ROMM;
}

// Order recorded for the new image, or -1 when the depth cannot take it. The "or grey" orders
// pick grey where the depth is naturally grey: 12/16 bits, and palette depths without a palette.
int ResolveOrder(unsigned bits, unsigned order, bool hasPalette) {
    const bool flexible = order >= ORDER_RGBORGRAY && order <= ORDER_BGRORGRAYORROMM;
    const int colour = IsColourOrderRgb(order) ? ORDER_RGB : ORDER_BGR;
    switch (bits) {
        case 1:
        case 4:
        case 8: return (order == ORDER_GRAY || (flexible && !hasPalette)) ? ORDER_GRAY : colour;
        case 12: return ORDER_GRAY;  // 12-bit data is grey whatever order is asked for
        case 16: return (order == ORDER_GRAY || flexible) ? ORDER_GRAY : colour;
        default: return order == ORDER_GRAY ? -1 : colour;
    }
}

std::int32_t ChannelMaximum(unsigned bits, int order) {
    if (order == ORDER_GRAY) return static_cast<std::int32_t>((1u << bits) - 1);
    return bits == 16 ? 31 : 255;
}

}  // namespace

int L_CreateBitmap(BITMAPHANDLE* bitmap, unsigned structSize, unsigned /*memoryType*/,
                   unsigned width, unsigned height, unsigned bitsPerPixel, unsigned order,
                   const RGBQUAD* palette, unsigned viewPerspective, const std::uint8_t* data,
                   std::uint64_t dataSize) {
    if (bitmap == nullptr) return ERROR_NO_BITMAP;
    if (structSize != BITMAPHANDLE_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    if (!engine::IsSupportedDepth(bitsPerPixel)) return ERROR_BITPERPIXEL;
    if (order > ORDER_BGRORGRAYORROMM) return ERROR_INV_ORDER;
    if (viewPerspective < TOP_LEFT || viewPerspective > LEFT_BOTTOM) {
        return ERROR_INV_VIEW_PERSPECTIVE;
    }
    const int resolved = ResolveOrder(bitsPerPixel, order, palette != nullptr);
    if (resolved < 0) return ERROR_INV_ORDER;

    try {
        // Palette depths always carry a full palette: the caller's, or the grey ramp.
        std::vector<RGBQUAD> table;
        if (bitsPerPixel <= 8) {
            const unsigned count = 1u << bitsPerPixel;
            if (palette != nullptr && resolved != ORDER_GRAY) {
                table.assign(palette, palette + count);
            } else {
                table.resize(count);
                engine::FillGreyRamp(table.data(), count);
            }
        }
        engine::ImageSpec spec;
        spec.width = width;
        spec.height = height;
        spec.bits = static_cast<int>(bitsPerPixel);
        spec.order = resolved;
        spec.viewPerspective = static_cast<int>(viewPerspective);
        spec.palette = table.empty() ? nullptr : table.data();
        spec.paletteCount = static_cast<std::uint32_t>(table.size());
        BITMAPHANDLE created;
        if (const int status = engine::AllocateImage(spec, &created); status != SUCCESS) {
            return status;
        }
        if (resolved == ORDER_GRAY) {
            created.LowBit = 0;
            created.HighBit = static_cast<std::int32_t>(bitsPerPixel) - 1;
        }
        created.MinVal = 0;
        created.MaxVal = ChannelMaximum(bitsPerPixel, resolved);
        if (data != nullptr && dataSize > 0) {
            engine::PixelView pixels;
            if (const int status = engine::AccessPixels(&created, &pixels); status != SUCCESS) {
                engine::ReleaseStorage(created);
                return status;
            }
            const std::uint64_t bytes = static_cast<std::uint64_t>(pixels.stride) * pixels.height;
            std::memcpy(pixels.data, data, std::min(dataSize, bytes));
        }
        *bitmap = created;
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
}
