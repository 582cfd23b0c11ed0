// The memory regions this layer handed out or was told about: every global memory block and the
// buffers a host registers. A member that receives a bare address cannot know the size behind
// it; when the address falls inside one of these regions, it can at least refuse to read past
// the region's end. An address in no known region is the caller's promise, as on the desktop.
// Thread-safe; regions never overlap, since each is a live allocation of its own.
#pragma once

#include <cstddef>
#include <cstdint>

// Records a region (a zero-byte region still owns its start address). A region that starts at
// the same address replaces the one recorded before.
void RegisterMemoryRegion(const void* start, std::size_t size);
// Forgets the region that starts at start; false when none does.
bool UnregisterMemoryRegion(const void* start);

// The known region that contains address: its start and size. False when none does.
bool KnownRegion(std::uint64_t address, std::uint64_t* start, std::size_t* size);

// False only when address lies in a known region and bytes from it would run past that region's
// end; true for an address in no known region (nothing is known to refuse it).
bool ReadableWithinKnownRegion(std::uint64_t address, std::uint64_t bytes);

// Keeps a region registered for the life of the object.
class MemoryRegionRegistration {
public:
    MemoryRegionRegistration() = default;
    MemoryRegionRegistration(const void* start, std::size_t size);
    ~MemoryRegionRegistration();
    MemoryRegionRegistration(MemoryRegionRegistration&& other) noexcept;
    MemoryRegionRegistration& operator=(MemoryRegionRegistration&& other) noexcept;
    MemoryRegionRegistration(const MemoryRegionRegistration&) = delete;
    MemoryRegionRegistration& operator=(const MemoryRegionRegistration&) = delete;

private:
    const void* start_ = nullptr;
};
