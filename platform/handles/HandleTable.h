// Process-wide handle tables. A 32-bit member parameter that carried a handle or an address on
// the original platform is a key into these tables here: a pointer is never squeezed into 32
// bits. Keys are never 0, differ between kinds of object, and are not reused soon after release.
#pragma once

#include <cstdint>

enum class HandleKind : std::uint8_t {
    GlobalMemory = 1,
    EngineBitmap = 2,
    DeviceContext = 3,
};

// Registers an object that the caller owns and keeps alive until it unregisters it.
std::uint32_t RegisterHandle(HandleKind kind, void* object);
// The object behind a key, or null when the key is unknown or of another kind.
void* LookupHandle(HandleKind kind, std::uint32_t key);
template <class T>
T* LookupHandleAs(HandleKind kind, std::uint32_t key) {
    return static_cast<T*>(LookupHandle(kind, key));
}
// Forgets a key; false when it was not registered as that kind.
bool UnregisterHandle(HandleKind kind, std::uint32_t key);

// Moves the key counter, so tests can reach the wrap-around without four billion registrations.
void SetNextHandleKeyForTesting(std::uint32_t key);
