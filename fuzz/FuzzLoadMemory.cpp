// Loads any bytes as an image file from memory and, when that works, writes the image in each
// lossless format and loads it back.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/File.h"
#include "engine/Kernel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (4u << 20)) return 0;
    ScopedBitmap bitmap;
    if (L_LoadBitmapMemory(data, bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGRORGRAY, size,
                           nullptr, nullptr) != SUCCESS)
        return 0;
    if (bitmap->Size > (8u << 20)) return 0;
    std::vector<std::uint8_t> out(bitmap->Size * 2 + 65536);
    std::size_t written = 0;
    if (L_SaveBitmapBuffer(out.data(), out.size(), &written, bitmap.get(),
                           filefmt::FILE_DICOM_RLE_GRAY, 0, 0, nullptr, nullptr,
                           nullptr) == SUCCESS) {
        ScopedBitmap again;
        L_LoadBitmapMemory(out.data(), again.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGRORGRAY,
                           written, nullptr, nullptr);
    }
    return 0;
}
