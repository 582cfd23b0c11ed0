// The harnesses of the control-level fuzz targets, callable on their own so that the tests
// replay the seeds and the kept findings through exactly the code the fuzzer ran.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

void CorrectionFileInput(const std::uint8_t* data, std::size_t size);
void RawFileInput(const std::uint8_t* data, std::size_t size);
void RegistryTextInput(const std::uint8_t* data, std::size_t size);
void ScriptInput(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz

// Each target's entry point; the replaying tests build the harnesses without them.
#ifndef AXLUMORA_FUZZ_REPLAY
#define AXLUMORA_FUZZ_ENTRY(harness)                                                    \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        harness(data, size);                                                            \
        return 0;                                                                       \
    }
#else
#define AXLUMORA_FUZZ_ENTRY(harness)
#endif
