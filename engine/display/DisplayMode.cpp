#include <atomic>

#include "engine/Display.h"

namespace {
std::atomic<unsigned> g_displayMode{0};
}

unsigned L_SetDisplayMode(unsigned mask, unsigned flags) {
    unsigned previous = g_displayMode.load();
    while (!g_displayMode.compare_exchange_weak(previous, (previous & ~mask) | (flags & mask))) {
    }
    return previous;
}

unsigned L_GetDisplayMode() { return g_displayMode.load(); }
