#include "engine/file/Uid.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <random>
#include <stdexcept>

#ifndef AXLUMORA_VERSION
#error "AXLUMORA_VERSION (the project version) must be defined by the build"
#endif

namespace engine::file {

std::string ImplementationVersionName() {
    std::string name = "AXLUMORA_" AXLUMORA_VERSION;
    if (name.size() > 16) name.resize(16);
    return name;
}

std::string DecimalOf128(const std::uint8_t bytes[16]) {
    // Repeated division by 10 of the number held as four 32-bit limbs, most significant first.
    std::array<std::uint32_t, 4> limbs{};
    for (int i = 0; i < 16; ++i) limbs[i / 4] = limbs[i / 4] << 8 | bytes[i];
    std::string digits;
    while (std::any_of(limbs.begin(), limbs.end(), [](std::uint32_t limb) { return limb != 0; })) {
        std::uint64_t remainder = 0;
        for (std::uint32_t& limb : limbs) {
            const std::uint64_t value = remainder << 32 | limb;
            limb = static_cast<std::uint32_t>(value / 10);
            remainder = value % 10;
        }
        digits.push_back(static_cast<char>('0' + remainder));
    }
    if (digits.empty()) digits = "0";
    std::reverse(digits.begin(), digits.end());
    return digits;
}

std::string NewUid() {
    std::array<std::uint8_t, 16> uuid{};
    std::size_t filled = 0;
    while (filled < uuid.size()) {
        const ssize_t got = getrandom(uuid.data() + filled, uuid.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    if (filled < uuid.size()) {
        // Kernels without getrandom: the library's non-deterministic source.
        std::random_device device;
        for (std::size_t i = 0; i < uuid.size(); i += 4) {
            const std::uint32_t word = device();
            for (std::size_t k = 0; k < 4; ++k)
                uuid[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
        }
    }
    // Version 4 (random) and the RFC 4122 variant, as ITU-T X.667 defines the UUID.
    uuid[6] = static_cast<std::uint8_t>((uuid[6] & 0x0F) | 0x40);
    uuid[8] = static_cast<std::uint8_t>((uuid[8] & 0x3F) | 0x80);
    return "2.25." + DecimalOf128(uuid.data());
}

}  // namespace engine::file
