// Any bytes as an annotation file from memory and, when they load, the annotations realised into
// a small 16-bit grey and a small 24-bit colour image, with names shown.
#include <cstddef>
#include <cstdint>

#include "engine/Annotation.h"
#include "engine/Kernel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (4u << 20)) return 0;
    ScopedAnnContainer container;
    if (L_AnnLoadMemory(data, size, container.put()) != SUCCESS) return 0;
    ANNNAMEOPTIONS options{};
    options.uStructSize = sizeof options;
    options.uFlags = ANNNAMEOPT_SHOW;
    options.bShowName = size % 2;
    L_AnnSetNameOptions(container.get(), &options, ANNFLAG_RECURSE);
    for (const int bits : {16, 24}) {
        ScopedBitmap bitmap;
        if (L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 37, 23, bits,
                           bits == 16 ? ORDER_GRAY : ORDER_BGR, nullptr, TOP_LEFT, nullptr,
                           0) != SUCCESS)
            return 0;
        const RECT bounds{3, 2, 30, 20};
        L_AnnRealize(bitmap.get(), bits == 16 ? nullptr : &bounds, container.get(), 0);
    }
    return 0;
}
