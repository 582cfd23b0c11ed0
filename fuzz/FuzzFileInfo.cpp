// Describes any bytes as an image file, and reads every comment index from it.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/File.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (4u << 20)) return 0;
    FILEINFO info{};
    L_FileInfoMemory(data, &info, FILEINFO_STRUCT_SIZE, size, 0, nullptr);
    // The comment reader takes file names only.
    static const std::string path = "/tmp/axlumora_fuzz_info_" + std::to_string(::getpid());
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        std::uint8_t text[4096];
        for (int index : {cmnt::CMNT_SZPATIENTNAME, cmnt::CMNT_SZPATIENTID, cmnt::CMNT_SZDESC,
                          cmnt::CMNT_SZDATETIME}) {
            const int needed = L_ReadFileComment(path.c_str(), index, nullptr, 0, nullptr);
            if (needed > 0 && needed <= static_cast<int>(sizeof text))
                L_ReadFileComment(path.c_str(), index, text, sizeof text, nullptr);
        }
    }
    return 0;
}
