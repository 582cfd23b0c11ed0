// Global memory blocks. The blocks live here, owned by a map; the handle table only maps their
// keys to them, so a stale or foreign key finds nothing instead of freed memory.
#include "platform/handles/GlobalMemory.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "platform/handles/HandleTable.h"
#include "platform/handles/MemoryRegions.h"

namespace {

struct Block {
    // Never null, even for a zero-byte block: GlobalLock of a live handle always yields an
    // address, so callers cannot mistake an empty block for a bad handle.
    std::unique_ptr<BYTE[]> bytes;
    std::size_t size = 0;
    UINT lockCount = 0;
};

// Far beyond any image; refusing it here keeps absurd requests away from the allocator.
constexpr std::size_t kMaxBlockBytes = std::size_t{1} << 40;

std::mutex g_mutex;
std::map<HGLOBAL, std::unique_ptr<Block>> g_blocks;

// Zero-filled storage of at least one byte, or null when it cannot be had.
std::unique_ptr<BYTE[]> AllocateZeroed(std::size_t size) {
    if (size > kMaxBlockBytes) return nullptr;
    try {
        return std::make_unique<BYTE[]>(std::max<std::size_t>(size, 1));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Block* Find(HGLOBAL hMem) {
    const auto it = g_blocks.find(hMem);
    return it == g_blocks.end() ? nullptr : it->second.get();
}

}  // namespace

HGLOBAL GlobalAlloc(UINT /*uFlags*/, std::size_t dwBytes) {
    // Every block is zero-filled, GMEM_ZEROINIT or not; fixed and moveable blocks behave alike
    // because callers reach both only through GlobalLock.
    std::unique_ptr<Block> block;
    try {
        block = std::make_unique<Block>();
    } catch (const std::bad_alloc&) {
        return 0;
    }
    block->bytes = AllocateZeroed(dwBytes);
    if (!block->bytes) return 0;
    block->size = dwBytes;

    std::lock_guard lock(g_mutex);
    const HGLOBAL key = RegisterHandle(HandleKind::GlobalMemory, block.get());
    if (!key) return 0;
    const BYTE* bytes = block->bytes.get();
    try {
        g_blocks.emplace(key, std::move(block));
    } catch (const std::bad_alloc&) {
        UnregisterHandle(HandleKind::GlobalMemory, key);
        return 0;
    }
    // Its locked address may be handed to members that take bare addresses.
    RegisterMemoryRegion(bytes, dwBytes);
    return key;
}

void* GlobalLock(HGLOBAL hMem) {
    std::lock_guard lock(g_mutex);
    Block* block = Find(hMem);
    if (!block) return nullptr;
    if (block->lockCount < UINT32_MAX) ++block->lockCount;
    return block->bytes.get();
}

BOOL GlobalUnlock(HGLOBAL hMem) {
    std::lock_guard lock(g_mutex);
    Block* block = Find(hMem);
    if (!block || block->lockCount == 0) return 0;
    return --block->lockCount != 0;
}

std::size_t GlobalSize(HGLOBAL hMem) {
    std::lock_guard lock(g_mutex);
    const Block* block = Find(hMem);
    return block ? block->size : 0;
}

HGLOBAL GlobalReAlloc(HGLOBAL hMem, std::size_t dwBytes, UINT /*uFlags*/) {
    std::lock_guard lock(g_mutex);
    Block* block = Find(hMem);
    if (!block) return 0;
    if (dwBytes == block->size) return hMem;
    // A locked block's address is in use: it cannot move.
    if (block->lockCount != 0) return 0;
    std::unique_ptr<BYTE[]> bytes = AllocateZeroed(dwBytes);
    if (!bytes) return 0;  // the old block stays as it was
    std::memcpy(bytes.get(), block->bytes.get(), std::min(dwBytes, block->size));
    UnregisterMemoryRegion(block->bytes.get());
    block->bytes = std::move(bytes);
    block->size = dwBytes;
    RegisterMemoryRegion(block->bytes.get(), dwBytes);
    return hMem;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    std::lock_guard lock(g_mutex);
    const auto it = g_blocks.find(hMem);
    if (it == g_blocks.end()) return hMem;
    // A locked block is freed all the same, as on the desktop platform.
    UnregisterHandle(HandleKind::GlobalMemory, hMem);
    UnregisterMemoryRegion(it->second->bytes.get());
    g_blocks.erase(it);
    return 0;
}
