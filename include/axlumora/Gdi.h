// The GDI a host needs to have the control paint into its own memory: colours, rectangles, raster
// operations and memory device contexts. A memory context is a 32-bit buffer registered in the
// platform's handle table; its 32-bit key is what crosses the automation boundary (RenderDC's
// HandleDC). Pixels read back as colour values, 0x00BBGGRR.
#pragma once

#include <cstdint>

#include "axlumora/WinTypes.h"

using COLORREF = std::uint32_t;  // 0x00BBGGRR

#ifndef TRUE
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
#endif

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

constexpr COLORREF RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return r | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr std::uint8_t GetRValue(COLORREF c) { return static_cast<std::uint8_t>(c); }
constexpr std::uint8_t GetGValue(COLORREF c) { return static_cast<std::uint8_t>(c >> 8); }
constexpr std::uint8_t GetBValue(COLORREF c) { return static_cast<std::uint8_t>(c >> 16); }

// Raster operations (ternary, as the desktop defines them).
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

// a × b / c with a 64-bit intermediate, rounded to nearest with halves away from zero; -1 when
// c is 0 or the result does not fit in 32 bits.
int MulDiv(int number, int numerator, int denominator);

struct DeviceContext;
using HDC = DeviceContext*;

// Memory contexts a host creates for RenderDC: a context with its own buffer (black), registered
// in the handle table; 0 when a side lies outside 1..65535 or the buffer cannot be had.
std::uint32_t CreateMemoryDC(int width, int height);
BOOL DeleteMemoryDC(std::uint32_t key);
HDC DeviceContextFromHandle(std::uint32_t key);  // null for an unknown key
COLORREF GetPixel(HDC dc, int x, int y);         // 0xFFFFFFFF outside the buffer (CLR_INVALID)
