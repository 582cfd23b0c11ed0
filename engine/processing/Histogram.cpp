#include <algorithm>

#include "engine/PixelView.h"
#include "engine/Processing.h"
#include "engine/kernel/PixelColor.h"

int L_GetBitmapHistogram(const BITMAPHANDLE* bitmap, std::uint32_t* histogram, std::uint32_t count,
                         int channel) {
    engine::ConstPixelView view;
    if (const int status = engine::AccessPixels(bitmap, &view); status != SUCCESS) return status;
    if (histogram == nullptr) return ERROR_INV_PARAMETER;
    if (channel != CHANNEL_GRAYLEVELS && (channel < CHANNEL_MASTER || channel > CHANNEL_BLUE)) {
        return ERROR_INV_PARAMETER;
    }
    const bool deepGrey = engine::IsGrayFormat(view.format);
    const std::uint32_t levels = view.format == engine::PixelFormat::Gray16   ? 65536u
                                 : view.format == engine::PixelFormat::Gray12 ? 4096u
                                                                              : 256u;
    if (count < levels) return ERROR_BUFFER_TOO_SMALL;
    if (deepGrey && channel != CHANNEL_MASTER && channel != CHANNEL_GRAYLEVELS) {
        return ERROR_INV_PARAMETER;
    }
    std::fill_n(histogram, count, 0u);

    if (deepGrey) {
        for (int y = 0; y < view.height; ++y) {
            const std::uint16_t* row = view.Row<std::uint16_t>(y);
            for (int x = 0; x < view.width; ++x)
                ++histogram[std::min<std::uint32_t>(row[x], levels - 1)];
        }
        return SUCCESS;
    }
    const auto levelOf = [&](std::uint32_t color) -> std::uint32_t {
        switch (channel) {
            case CHANNEL_RED: return engine::RedOf(color);
            case CHANNEL_GREEN: return engine::GreenOf(color);
            case CHANNEL_BLUE: return engine::BlueOf(color);
            default: return engine::GrayLevelOf(color);
        }
    };
    for (int y = 0; y < view.height; ++y) {
        for (int x = 0; x < view.width; ++x) {
            const std::uint32_t color =
                engine::DecodeColor(*bitmap, view.format, engine::ReadStored(view, y, x));
            ++histogram[levelOf(color)];
        }
    }
    return SUCCESS;
}
