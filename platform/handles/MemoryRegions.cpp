#include "platform/handles/MemoryRegions.h"

#include <map>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <utility>

namespace {

std::shared_mutex g_mutex;
// Start address → size. Regions are disjoint, so the region containing an address is the last
// one starting at or below it.
std::map<std::uint64_t, std::size_t> g_regions;

std::uint64_t AddressOf(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

}  // namespace

void RegisterMemoryRegion(const void* start, std::size_t size) {
    if (!start) return;
    std::unique_lock lock(g_mutex);
    try {
        g_regions.insert_or_assign(AddressOf(start), size);
    } catch (const std::bad_alloc&) {
        // Unrecorded, the region is merely unknown: reads from it stay the caller's promise.
    }
}

bool UnregisterMemoryRegion(const void* start) {
    std::unique_lock lock(g_mutex);
    return g_regions.erase(AddressOf(start)) != 0;
}

bool KnownRegion(std::uint64_t address, std::uint64_t* start, std::size_t* size) {
    std::shared_lock lock(g_mutex);
    auto it = g_regions.upper_bound(address);
    if (it == g_regions.begin()) return false;
    --it;
    const std::uint64_t offset = address - it->first;
    // A zero-byte region still owns its start address (its allocation has at least one byte).
    if (offset != 0 && offset >= it->second) return false;
    if (start) *start = it->first;
    if (size) *size = it->second;
    return true;
}

bool ReadableWithinKnownRegion(std::uint64_t address, std::uint64_t bytes) {
    std::uint64_t start = 0;
    std::size_t size = 0;
    if (!KnownRegion(address, &start, &size)) return true;
    return bytes <= size - (address - start);
}

MemoryRegionRegistration::MemoryRegionRegistration(const void* start, std::size_t size)
    : start_(start) {
    RegisterMemoryRegion(start, size);
}

MemoryRegionRegistration::~MemoryRegionRegistration() {
    if (start_) UnregisterMemoryRegion(start_);
}

MemoryRegionRegistration::MemoryRegionRegistration(MemoryRegionRegistration&& other) noexcept
    : start_(std::exchange(other.start_, nullptr)) {}

MemoryRegionRegistration& MemoryRegionRegistration::operator=(
    MemoryRegionRegistration&& other) noexcept {
    if (this != &other) {
        if (start_) UnregisterMemoryRegion(start_);
        start_ = std::exchange(other.start_, nullptr);
    }
    return *this;
}
