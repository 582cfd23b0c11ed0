#include "engine/kernel/BitmapStorage.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <unordered_map>

#include "engine/PixelView.h"
#include "engine/kernel/BitmapLayout.h"
#include "engine/kernel/Region.h"

namespace engine {
namespace {

class StorageRegistry {
public:
    BitmapStorage* Add(std::unique_ptr<BitmapStorage> storage) {
        std::lock_guard lock(mutex_);
        const std::uintptr_t key = nextKey_++;
        entries_.emplace(key, std::move(storage));
        return reinterpret_cast<BitmapStorage*>(key);
    }

    std::unique_ptr<BitmapStorage> Remove(const BitmapStorage* name) {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find(reinterpret_cast<std::uintptr_t>(name));
        if (found == entries_.end()) return nullptr;
        std::unique_ptr<BitmapStorage> storage = std::move(found->second);
        entries_.erase(found);
        return storage;
    }

    // Runs fn(BitmapStorage&) under the lock; false when the name is unknown.
    template <class Fn>
    bool With(const BitmapStorage* name, Fn&& fn) {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find(reinterpret_cast<std::uintptr_t>(name));
        if (found == entries_.end()) return false;
        fn(*found->second);
        return true;
    }

    std::size_t Count() {
        std::lock_guard lock(mutex_);
        return entries_.size();
    }

private:
    std::mutex mutex_;
    std::uintptr_t nextKey_ = 1;
    std::unordered_map<std::uintptr_t, std::unique_ptr<BitmapStorage>> entries_;
};

// Pixel allocations still allowed before the injected failures start; negative: no limit.
std::atomic<std::int64_t> g_allocationsAllowed{-1};

bool PixelAllocationAllowed() noexcept {
    std::int64_t allowed = g_allocationsAllowed.load();
    while (allowed >= 0) {
        if (allowed == 0) return false;
        if (g_allocationsAllowed.compare_exchange_weak(allowed, allowed - 1)) return true;
    }
    return true;
}

// Never destroyed: bitmaps owned by static objects may still be freed while the process exits.
StorageRegistry& Registry() {
    alignas(StorageRegistry) static unsigned char place[sizeof(StorageRegistry)];
    static StorageRegistry* const registry = ::new (place) StorageRegistry();
    return *registry;
}

int ClassifyFormat(int bits, int order, PixelFormat* format) {
    switch (bits) {
        case 1: *format = PixelFormat::Index1; return SUCCESS;
        case 4: *format = PixelFormat::Index4; return SUCCESS;
        case 8: *format = PixelFormat::Index8; return SUCCESS;
        case 12: *format = PixelFormat::Gray12; return SUCCESS;
        case 16:
            if (order == ORDER_GRAY) *format = PixelFormat::Gray16;
            else if (order == ORDER_RGB || order == ORDER_BGR) *format = PixelFormat::Rgb555;
            else return ERROR_INV_ORDER;
            return SUCCESS;
        case 24:
        case 32:
            if (order == ORDER_RGB) *format = bits == 24 ? PixelFormat::Rgb24 : PixelFormat::Rgb32;
            else if (order == ORDER_BGR)
                *format = bits == 24 ? PixelFormat::Bgr24 : PixelFormat::Bgr32;
            else return ERROR_INV_ORDER;
            return SUCCESS;
        default: return ERROR_BITPERPIXEL;
    }
}

template <class View>
int AccessPixelsImpl(const BITMAPHANDLE* bitmap, View* view) {
    if (bitmap == nullptr || bitmap->Addr == nullptr || bitmap->Storage == nullptr) {
        return ERROR_NO_BITMAP;
    }
    const BITMAPHANDLE& b = *bitmap;
    std::uintptr_t base = 0;
    std::uint64_t capacity = 0;
    const bool known = Registry().With(b.Storage, [&](const BitmapStorage& storage) {
        base = reinterpret_cast<std::uintptr_t>(storage.pixels.get());
        capacity = storage.pixelBytes;
    });
    if (!known) return ERROR_NO_BITMAP;
    if (!IsSupportedDepth(b.BitsPerPixel)) return ERROR_BITPERPIXEL;
    if (b.Width <= 0 || b.Height <= 0 || b.Width > kMaxDimension || b.Height > kMaxDimension ||
        b.BytesPerLine < UsedRowBytes(b.Width, b.BitsPerPixel)) {
        return ERROR_INV_SIZE;
    }
    PixelFormat format;
    if (const int status = ClassifyFormat(b.BitsPerPixel, b.Order, &format); status != SUCCESS) {
        return status;
    }
    // Every row, padding included, must lie inside the storage the record names.
    const std::uint64_t extent = static_cast<std::uint64_t>(b.BytesPerLine) * b.Height;
    const auto start = reinterpret_cast<std::uintptr_t>(b.Addr);
    if (start < base || start - base > capacity || extent > capacity - (start - base)) {
        return ERROR_NO_BITMAP;
    }

    view->width = b.Width;
    view->height = b.Height;
    view->bits = b.BitsPerPixel;
    view->format = format;
    view->stride = b.BytesPerLine;
    view->data = b.Addr;
    return SUCCESS;
}

}  // namespace

int AccessPixels(BITMAPHANDLE* bitmap, PixelView* view) { return AccessPixelsImpl(bitmap, view); }
int AccessPixels(const BITMAPHANDLE* bitmap, ConstPixelView* view) {
    return AccessPixelsImpl(bitmap, view);
}

void ResetRecord(BITMAPHANDLE* bitmap, int width, int height, int bitsPerPixel) {
    BITMAPHANDLE& b = *bitmap;
    b = BITMAPHANDLE{};
    b.uStructSize = BITMAPHANDLE_STRUCT_SIZE;
    b.Width = width;
    b.Height = height;
    b.BitsPerPixel = bitsPerPixel;
    b.BytesPerLine = (IsSupportedDepth(bitsPerPixel) && width > 0 && width <= kMaxDimension)
                         ? static_cast<std::int32_t>(PaddedStride(width, bitsPerPixel))
                         : 0;
    b.Order = ORDER_RGB;
    b.ViewPerspective = TOP_LEFT;
    b.XResolution = 150;
    b.YResolution = 150;
    b.LowBit = 0;
    b.HighBit = -1;
    b.PaintLowBit = 0;
    b.PaintHighBit = -1;
    b.MemoryType = TYPE_CONV;
    b.Flags = BITMAP_FLAG_INITIALIZED;
}

namespace {

// Row stride and pixel bytes of a spec's image; a status of CheckGeometry, or ERROR_INV_SIZE for
// a stride that is too small, unaligned or too large.
int SpecGeometry(const ImageSpec& spec, std::int64_t* stride, std::uint64_t* size) {
    if (const int status = CheckGeometry(spec.width, spec.height, spec.bits, stride, size);
        status != SUCCESS) {
        return status;
    }
    if (spec.stride != 0) {
        if (spec.stride < *stride || spec.stride % 4 != 0 || spec.stride > INT32_MAX) {
            return ERROR_INV_SIZE;
        }
        *stride = spec.stride;
        const std::uint64_t total = static_cast<std::uint64_t>(*stride) * spec.height;
        if (total > kMaxImageBytes) return ERROR_INV_SIZE;
        *size = total;
    }
    return SUCCESS;
}

// The record of a new image held by `owned`, registered as `name`.
void DescribeImage(const ImageSpec& spec, std::int64_t stride, std::uint64_t size,
                   BitmapStorage& owned, BitmapStorage* name, BITMAPHANDLE* out) {
    ResetRecord(out, static_cast<int>(spec.width), static_cast<int>(spec.height), spec.bits);
    out->BytesPerLine = static_cast<std::int32_t>(stride);
    out->Order = spec.order;
    out->ViewPerspective = spec.viewPerspective;
    out->Size = size;
    out->Addr = owned.pixels.get();
    out->Storage = name;
    out->nColors = static_cast<std::uint32_t>(owned.palette.size());
    out->pPalette = owned.palette.empty() ? nullptr : owned.palette.data();
    out->LUTLength = static_cast<std::uint32_t>(owned.lut.size());
    out->pLUT = owned.lut.empty() ? nullptr : owned.lut.data();
    out->Flags = BITMAP_FLAG_INITIALIZED | BITMAP_FLAG_ALLOCATED;
}

}  // namespace

int AllocateImage(const ImageSpec& spec, BITMAPHANDLE* out) noexcept {
    std::int64_t stride = 0;
    std::uint64_t size = 0;
    if (const int status = SpecGeometry(spec, &stride, &size); status != SUCCESS) return status;
    try {
        auto storage = std::make_unique<BitmapStorage>();
        if (!PixelAllocationAllowed()) return ERROR_NO_MEMORY;
        storage->pixels.reset(static_cast<std::uint8_t*>(std::calloc(size, 1)));
        if (!storage->pixels) return ERROR_NO_MEMORY;
        storage->pixelBytes = size;
        if (spec.palette != nullptr && spec.paletteCount > 0) {
            storage->palette.assign(spec.palette, spec.palette + spec.paletteCount);
        }
        if (spec.lut != nullptr && spec.lutLength > 0) {
            storage->lut.assign(spec.lut, spec.lut + spec.lutLength);
        }
        BitmapStorage& owned = *storage;
        BitmapStorage* const name = Registry().Add(std::move(storage));
        DescribeImage(spec, stride, size, owned, name, out);
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
}

bool RenewImage(const ImageSpec& spec, BITMAPHANDLE* bitmap) noexcept {
    if (bitmap == nullptr || bitmap->Storage == nullptr) return false;
    if ((spec.palette != nullptr && spec.paletteCount > 0) ||
        (spec.lut != nullptr && spec.lutLength > 0)) {
        return false;
    }
    std::int64_t stride = 0;
    std::uint64_t size = 0;
    if (SpecGeometry(spec, &stride, &size) != SUCCESS) return false;
    // The old tables and region are released outside the registry's lock.
    std::vector<RGBQUAD> palette, lut;
    std::shared_ptr<const Region> region;
    bool renewed = false;
    BitmapStorage* const name = bitmap->Storage;
    Registry().With(name, [&](BitmapStorage& storage) {
        if (!storage.pixels || storage.pixelBytes != size) return;
        palette.swap(storage.palette);
        lut.swap(storage.lut);
        region.swap(storage.region);
        DescribeImage(spec, stride, size, storage, name, bitmap);
        renewed = true;
    });
    return renewed;
}

int AllocateLike(const BITMAPHANDLE& like, std::int64_t width, std::int64_t height,
                 std::int64_t stride, BITMAPHANDLE* out) noexcept {
    ImageSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bits = like.BitsPerPixel;
    spec.order = like.Order;
    spec.viewPerspective = like.ViewPerspective;
    spec.stride = stride;
    if (like.BitsPerPixel <= 8) {
        spec.palette = like.pPalette;
        spec.paletteCount = std::min(like.nColors, 1u << std::max(like.BitsPerPixel, 0));
    }
    spec.lut = like.pLUT;
    spec.lutLength = like.LUTLength;
    BITMAPHANDLE created;
    if (const int status = AllocateImage(spec, &created); status != SUCCESS) return status;

    BITMAPHANDLE result = like;
    result.uStructSize = BITMAPHANDLE_STRUCT_SIZE;
    result.Width = created.Width;
    result.Height = created.Height;
    result.BytesPerLine = created.BytesPerLine;
    result.Size = created.Size;
    result.Addr = created.Addr;
    result.Storage = created.Storage;
    result.nColors = created.nColors;
    result.pPalette = created.pPalette;
    result.LUTLength = created.LUTLength;
    result.pLUT = created.pLUT;
    result.Flags = like.Flags | BITMAP_FLAG_INITIALIZED | BITMAP_FLAG_ALLOCATED;
    *out = result;
    return SUCCESS;
}

bool ReleaseStorage(const BITMAPHANDLE& bitmap) noexcept {
    if (bitmap.Storage == nullptr) return false;
    std::unique_ptr<BitmapStorage> storage = Registry().Remove(bitmap.Storage);
    return storage != nullptr;  // memory goes back here, outside the registry's lock
}

int SetOwnedLookupTable(BITMAPHANDLE* bitmap, const RGBQUAD* lut, std::uint32_t length) noexcept {
    if (bitmap == nullptr || bitmap->Storage == nullptr) return ERROR_NO_BITMAP;
    try {
        std::vector<RGBQUAD> table;
        if (lut != nullptr && length > 0) table.assign(lut, lut + length);
        const bool known = Registry().With(bitmap->Storage, [&](BitmapStorage& storage) {
            storage.lut.swap(table);
            bitmap->LUTLength = static_cast<std::uint32_t>(storage.lut.size());
            bitmap->pLUT = storage.lut.empty() ? nullptr : storage.lut.data();
        });
        return known ? SUCCESS : ERROR_NO_BITMAP;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
}

std::shared_ptr<const Region> RegionOf(const BITMAPHANDLE& bitmap) noexcept {
    std::shared_ptr<const Region> region;
    if (bitmap.Storage != nullptr) {
        Registry().With(bitmap.Storage,
                        [&](const BitmapStorage& storage) { region = storage.region; });
    }
    return region;
}

bool SetRegion(const BITMAPHANDLE& bitmap, std::shared_ptr<const Region> region) noexcept {
    if (bitmap.Storage == nullptr) return false;
    // The old region is released outside the registry's lock.
    return Registry().With(bitmap.Storage,
                           [&](BitmapStorage& storage) { storage.region.swap(region); });
}

std::size_t LiveStorageCount() { return Registry().Count(); }

void LimitPixelAllocationsForTesting(std::int64_t successes) noexcept {
    g_allocationsAllowed.store(successes < 0 ? -1 : successes);
}

}  // namespace engine
