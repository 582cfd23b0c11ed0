// Ownership of bitmap memory. Every image's pixels, palette and lookup table live in one
// BitmapStorage held by a process-wide registry; a BITMAPHANDLE only names its storage.
//
// BITMAPHANDLE::Storage holds the storage's registry key, never its address, and keys are never
// reused: a stale copy of a freed record (or a garbage record) names no storage, so freeing it
// again cannot release memory a later bitmap now uses. Engine code never dereferences Storage.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/Bitmap.h"

namespace engine {
class Region;
}

struct BitmapStorage {
    struct FreeMemory {
        void operator()(std::uint8_t* memory) const noexcept { std::free(memory); }
    };
    // calloc'ed: large zeroed buffers come straight from the system without being touched.
    std::unique_ptr<std::uint8_t[], FreeMemory> pixels;
    std::uint64_t pixelBytes = 0;
    std::vector<RGBQUAD> palette;
    std::vector<RGBQUAD> lut;
    // Set by L_SetBitmapRgnRect; immutable once set, so copies of the bitmap share it.
    std::shared_ptr<const engine::Region> region;
};

namespace engine {

// What a new image is made of. stride 0: the padded minimum.
struct ImageSpec {
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bits = 0;
    int order = ORDER_BGR;
    int viewPerspective = TOP_LEFT;
    std::int64_t stride = 0;
    const RGBQUAD* palette = nullptr;  // paletteCount entries copied
    std::uint32_t paletteCount = 0;
    const RGBQUAD* lut = nullptr;  // lutLength entries copied
    std::uint32_t lutLength = 0;
};

// Resets a record to an empty bitmap description: no memory, no tables, no paint window.
void ResetRecord(BITMAPHANDLE* bitmap, int width, int height, int bitsPerPixel);

// Replaces *out (not freeing what it held) by a new zeroed image. Fields not given by the spec
// get the defaults of ResetRecord. SUCCESS, ERROR_BITPERPIXEL, ERROR_INV_SIZE or
// ERROR_NO_MEMORY; never throws. On failure *out is untouched.
int AllocateImage(const ImageSpec& spec, BITMAPHANDLE* out) noexcept;

// For a writer that fills every byte of the new image itself: when *bitmap names live storage of
// exactly the spec's pixel size, *bitmap becomes the spec's image in that storage (as
// AllocateImage describes it; the old palette, lookup table and region dropped) with its pixels
// left as they were, sparing a fresh image its zeroing and first-touch page faults. False, with
// nothing changed, otherwise, and for specs that carry a palette or lookup table.
bool RenewImage(const ImageSpec& spec, BITMAPHANDLE* bitmap) noexcept;

// Replaces *out (not freeing what it held) by a new zeroed image of the given geometry that
// otherwise repeats like: every field, and copies of its palette and lookup table. stride 0: the
// padded minimum. Same statuses as AllocateImage; on failure *out is untouched.
int AllocateLike(const BITMAPHANDLE& like, std::int64_t width, std::int64_t height,
                 std::int64_t stride, BITMAPHANDLE* out) noexcept;

// Gives the storage named by a record back to the system. False when the record names no live
// storage (already freed, never allocated, garbage); nothing is released then.
bool ReleaseStorage(const BITMAPHANDLE& bitmap) noexcept;

// Replaces the lookup table a bitmap owns by a copy of lut (length entries; none when 0) and
// points pLUT/LUTLength at it. SUCCESS, ERROR_NO_BITMAP or ERROR_NO_MEMORY.
int SetOwnedLookupTable(BITMAPHANDLE* bitmap, const RGBQUAD* lut, std::uint32_t length) noexcept;

// The region the storage named by a record carries; null when it has none or the record names
// no live storage.
std::shared_ptr<const Region> RegionOf(const BITMAPHANDLE& bitmap) noexcept;
// Replaces that region (null: none). False when the record names no live storage.
bool SetRegion(const BITMAPHANDLE& bitmap, std::shared_ptr<const Region> region) noexcept;

// Storages currently alive; for leak checks in tests.
std::size_t LiveStorageCount();

// Tests of memory pressure: after `successes` more pixel allocations, every one fails as if the
// system had no memory left, until called again; a negative count lifts the limit.
void LimitPixelAllocationsForTesting(std::int64_t successes) noexcept;

}  // namespace engine
