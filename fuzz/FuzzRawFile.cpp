// Any bytes as a raw sensor file in each layout, sizes read from the file (or, headerless, from
// the first bytes), optionally written out as a compressed DICOM file in the scratch folder.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/FuzzControl.h"
#include "fuzz/Harnesses.h"

void fuzz::RawFileInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6 || size > (1u << 20)) return;
    const fuzz::ScratchFolder& scratch = fuzz::Scratch();
    const std::string input = scratch.File("frame.raw");
    fuzz::WriteFile(input, data + 6, size - 6);
    // Layout byte: 0 (28-byte header), 1 (4-byte header), 255 (headerless), anything else refused.
    const std::uint64_t layout = data[0] < 0xF0 ? data[0] % 2 : data[0] == 0xFF ? 255 : data[0];
    const std::uint64_t method = data[1] & 0xF;
    std::uint16_t width, height;
    std::memcpy(&width, data + 2, 2);
    std::memcpy(&height, data + 4, 2);
    ComPtr<IaxLumora> control = fuzz::NewControl();
    BStr in = BStr::FromUtf8(input);
    BStr out = BStr::FromUtf8(data[1] & 0x10 ? scratch.File("frame.dcm") : std::string());
    LONG value = 0;
    control->LoadFnRAW(in.get(), out.get(), width, height, layout | method << 16, &value);
}

AXLUMORA_FUZZ_ENTRY(fuzz::RawFileInput)
