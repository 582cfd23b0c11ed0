// Any bytes through the DICOM pre-parse scanner alone: the walk that must hold before GDCM sees a
// file, so it may trust no length, count or offset of its own input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/file/DicomShared.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (4u << 20)) return 0;
    std::string syntax;
    engine::file::PixelAttributes attributes;
    engine::file::ScanDicom(engine::file::Bytes(data, size), &syntax, &attributes);
    return 0;
}
