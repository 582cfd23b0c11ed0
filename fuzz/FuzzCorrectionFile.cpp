// Any bytes as a sensor correction file, applied by the member to a small 16-bit grey image
// whose size, like binning, comes from the first bytes; the log goes to the scratch folder.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzControl.h"
#include "fuzz/Harnesses.h"

void fuzz::CorrectionFileInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size > (1u << 20)) return;
    const fuzz::ScratchFolder& scratch = fuzz::Scratch();
    const std::string table = scratch.File("correction.txt");
    fuzz::WriteFile(table, data + 3, size - 3);
    ComPtr<IaxLumora> control = fuzz::NewControl();
    LONG value = 0;
    // Small sizes keep each run short; 1-wide and 1-high images are the edge cases.
    control->CreateBitmap(1 + data[0] % 48, 1 + data[1] % 48, 16, 0, &value);
    BStr correction = BStr::FromUtf8(table);
    BStr log = BStr::FromUtf8(data[2] & 2 ? scratch.File("correction.log") : std::string());
    control->ApplyCorrectionFile(correction.get(), log.get(),
                                 data[2] & 1 ? VARIANT_TRUE : VARIANT_FALSE, 0, &value);
}

AXLUMORA_FUZZ_ENTRY(fuzz::CorrectionFileInput)
