// Identity of the DICOM files the engine writes: our implementation and fresh instance UIDs.
#pragma once

#include <cstdint>
#include <string>

namespace engine::file {

// Implementation Class UID of this engine (PS3.7 D.3.3.2), itself a UUID-derived UID.
inline constexpr const char* kImplementationClassUid =
    "2.25.216905769706897286605464848548946047713";
// Implementation Version Name (SH, at most 16 characters): the product and its version.
std::string ImplementationVersionName();

// A new UID under the 2.25 root (PS3.5 B.2): a random (version 4) UUID written as one decimal
// integer. 122 random bits from the kernel make a collision across processes and machines
// negligible. Throws std::runtime_error when no random source answers.
std::string NewUid();

// The 128-bit big-endian integer in decimal (no leading zeros).
std::string DecimalOf128(const std::uint8_t bytes[16]);

}  // namespace engine::file
