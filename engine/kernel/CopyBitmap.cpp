#include <cstring>

#include "engine/Kernel.h"
#include "engine/PixelView.h"
#include "engine/kernel/BitmapStorage.h"

int L_CopyBitmap(BITMAPHANDLE* destination, const BITMAPHANDLE* source, unsigned structSize) {
    if (destination == nullptr || source == nullptr) return ERROR_NO_BITMAP;
    if (structSize != BITMAPHANDLE_STRUCT_SIZE) return ERROR_INV_STRUCT_SIZE;
    if (destination == source) return ERROR_INV_PARAMETER;

    engine::ConstPixelView view;
    int status = engine::AccessPixels(source, &view);
    BITMAPHANDLE copy;
    if (status == SUCCESS) {
        // Same row layout as the source: callers walk both with one stride.
        status = engine::AllocateLike(*source, view.width, view.height, view.stride, &copy);
    }
    engine::PixelView target;
    if (status == SUCCESS) {
        status = engine::AccessPixels(&copy, &target);
        if (status != SUCCESS) engine::ReleaseStorage(copy);
    }
    if (status != SUCCESS) {
        engine::ResetRecord(destination, 0, 0, 0);
        return status;
    }
    std::memcpy(target.data, view.data, static_cast<std::size_t>(view.stride) * view.height);
    // Same geometry, so the region applies unchanged; regions are immutable and shared.
    engine::SetRegion(copy, engine::RegionOf(*source));
    *destination = copy;
    return SUCCESS;
}
