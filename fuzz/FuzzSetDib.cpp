// Any bytes as a packed DIB block: header, colour table and bits located as the control does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/File.h"
#include "engine/Kernel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(BITMAPINFOHEADER) || size > (4u << 20)) return 0;
    BITMAPINFOHEADER header;
    std::memcpy(&header, data, sizeof header);
    std::uint64_t entries = header.biCompression == 3 ? 3
                            : header.biBitCount > 8   ? 0
                            : header.biClrUsed
                                ? header.biClrUsed
                                : (std::uint64_t{1} << std::min<unsigned>(header.biBitCount, 32));
    const std::size_t offset =
        static_cast<std::size_t>(std::min<std::uint64_t>(header.biSize + 4 * entries, size));
    ScopedBitmap bitmap;
    L_ConvertFromDIB(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE,
                     reinterpret_cast<const BITMAPINFOHEADER*>(data), offset, data + offset,
                     size - offset);
    return 0;
}
