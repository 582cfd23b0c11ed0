// Global memory blocks, as on the desktop platform, behind 32-bit handles of the handle table.
// The table owns every block; GlobalFree releases it. Locks nest; a bad handle fails cleanly.
// Blocks are always zero-filled. A zero-byte block still locks to a valid (unusable) address, so
// a null GlobalLock always means a bad handle. GlobalReAlloc keeps the handle and the contents,
// and refuses to resize a locked block. Reach a block's bytes through GlobalLock only: its
// handle-table entry is this layer's bookkeeping, not the data. While a block lives, its bytes
// are a known memory region (MemoryRegions.h), so a member given its locked address can tell
// how far it may read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "axlumora/WinTypes.h"

using HGLOBAL = std::uint32_t;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

HGLOBAL GlobalAlloc(UINT uFlags, std::size_t dwBytes);  // 0 on failure
void* GlobalLock(HGLOBAL hMem);                         // null for an unknown handle
BOOL GlobalUnlock(HGLOBAL hMem);                        // non-zero while still locked
std::size_t GlobalSize(HGLOBAL hMem);                   // 0 for an unknown handle
HGLOBAL GlobalReAlloc(HGLOBAL hMem, std::size_t dwBytes, UINT uFlags);
HGLOBAL GlobalFree(HGLOBAL hMem);  // 0 on success, else hMem
