#include "platform/gdi/Gdi.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/handles/HandleTable.h"

COLORREF GetSysColor(int index) {
    switch (index) {
        case COLOR_ACTIVECAPTION: return RGB(153, 180, 209);
        case COLOR_WINDOW: return RGB(255, 255, 255);
        case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
        case COLOR_BTNFACE: return RGB(240, 240, 240);
        default: return RGB(0, 0, 0);
    }
}

COLORREF ColorToRGB(OLE_COLOR color) {
    if (color & kSystemColorFlag) return GetSysColor(static_cast<int>(color & 0xFF));
    return color & 0x00FFFFFFu;
}

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    // Round half away from zero: add half the divisor's magnitude in the quotient's direction.
    const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(denominator));
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t absProduct = product < 0 ? -product : product;
    const std::int64_t quotient = (absProduct + magnitude / 2) / magnitude;
    const std::int64_t result = negative ? -quotient : quotient;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(result);
}

RECT DeviceContext::DrawableRect() const {
    return RECT{std::max<LONG>(clip.left, 0), std::max<LONG>(clip.top, 0),
                std::min<LONG>(clip.right, width), std::min<LONG>(clip.bottom, height)};
}

void AttachBuffer(DeviceContext* dc, std::uint32_t* pixels, int width, int height,
                  std::ptrdiff_t stride) {
    dc->pixels = pixels;
    dc->width = pixels ? width : 0;
    dc->height = pixels ? height : 0;
    dc->stride = stride;
    dc->clip = RECT{0, 0, dc->width, dc->height};
}

int GetDeviceCaps(HDC dc, int index) {
    if (!dc) return 0;
    if (index == BITSPIXEL) return 32;
    return 0;  // RASTERCAPS: no RC_PALETTE on a 32-bit display
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) {
    if (!dc) return nullptr;
    HPALETTE previous = dc->palette;
    dc->palette = palette;
    return previous;
}

UINT RealizePalette(HDC) { return 0; }

namespace {
std::mutex g_paletteMutex;
std::unordered_map<Palette*, std::unique_ptr<Palette>> g_palettes;
}  // namespace

HPALETTE CreatePaletteFromColors(const COLORREF* colors, int count) {
    auto palette = std::make_unique<Palette>();
    if (colors && count > 0) palette->entries.assign(colors, colors + count);
    std::lock_guard lock(g_paletteMutex);
    Palette* handle = palette.get();
    g_palettes.emplace(handle, std::move(palette));
    return handle;
}

BOOL DeletePalette(HPALETTE palette) {
    std::lock_guard lock(g_paletteMutex);
    return g_palettes.erase(palette) ? 1 : 0;
}

void FillSolidRect(HDC dc, const RECT& rect, COLORREF color) {
    if (!dc || !dc->pixels) return;
    const RECT area = dc->DrawableRect();
    const LONG left = std::max(rect.left, area.left), right = std::min(rect.right, area.right);
    const LONG top = std::max(rect.top, area.top), bottom = std::min(rect.bottom, area.bottom);
    if (left >= right || top >= bottom) return;
    const std::uint32_t pixel = PixelFromColor(color);
    for (LONG y = top; y < bottom; ++y) std::fill(dc->Row(y) + left, dc->Row(y) + right, pixel);
}

void SetBrushColor(HDC dc, COLORREF color) {
    if (dc) dc->brushColor = color;
}

void SetPen(HDC dc, COLORREF color, int width) {
    if (!dc) return;
    dc->penColor = color;
    dc->penWidth = std::max(width, 1);
}

void FrameRect(HDC dc, const RECT& r) {
    if (!dc) return;
    const LONG w = dc->penWidth;
    FillSolidRect(dc, RECT{r.left, r.top, r.right, std::min(r.top + w, r.bottom)}, dc->penColor);
    FillSolidRect(dc, RECT{r.left, std::max(r.bottom - w, r.top), r.right, r.bottom}, dc->penColor);
    FillSolidRect(dc, RECT{r.left, r.top, std::min(r.left + w, r.right), r.bottom}, dc->penColor);
    FillSolidRect(dc, RECT{std::max(r.right - w, r.left), r.top, r.right, r.bottom}, dc->penColor);
}

void SetPixel(HDC dc, int x, int y, COLORREF color) {
    FillSolidRect(dc, RECT{x, y, x + 1, y + 1}, color);
}

COLORREF GetPixel(HDC dc, int x, int y) {
    if (!dc || !dc->pixels || x < 0 || y < 0 || x >= dc->width || y >= dc->height)
        return 0xFFFFFFFFu;
    return ColorFromPixel(dc->Row(y)[x]);
}

// ---- memory contexts --------------------------------------------------------------------------

namespace {

struct MemoryDC {
    std::vector<std::uint32_t> buffer;
    DeviceContext dc;
};

std::mutex g_memoryMutex;
std::unordered_map<std::uint32_t, std::unique_ptr<MemoryDC>> g_memoryDCs;

}  // namespace

std::uint32_t CreateMemoryDC(int width, int height) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return 0;
    auto memory = std::make_unique<MemoryDC>();
    memory->buffer.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    AttachBuffer(&memory->dc, memory->buffer.data(), width, height, width);
    const std::uint32_t key = RegisterHandle(HandleKind::DeviceContext, &memory->dc);
    if (!key) return 0;
    std::lock_guard lock(g_memoryMutex);
    g_memoryDCs.emplace(key, std::move(memory));
    return key;
}

BOOL DeleteMemoryDC(std::uint32_t key) {
    std::lock_guard lock(g_memoryMutex);
    auto it = g_memoryDCs.find(key);
    if (it == g_memoryDCs.end()) return 0;
    UnregisterHandle(HandleKind::DeviceContext, key);
    g_memoryDCs.erase(it);
    return 1;
}

HDC DeviceContextFromHandle(std::uint32_t key) {
    return LookupHandleAs<DeviceContext>(HandleKind::DeviceContext, key);
}
