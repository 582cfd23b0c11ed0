// One table for every kind: a key names at most one live object, whatever its kind, and the
// counter runs through the whole 32-bit range before a released key can come back.
#include "platform/handles/HandleTable.h"

#include <mutex>
#include <new>
#include <unordered_map>

namespace {

struct Entry {
    HandleKind kind;
    void* object;
};

std::mutex g_mutex;
std::unordered_map<std::uint32_t, Entry> g_entries;
std::uint32_t g_next = 1;

}  // namespace

std::uint32_t RegisterHandle(HandleKind kind, void* object) {
    if (!object) return 0;
    std::lock_guard lock(g_mutex);
    // After a wrap-around, keys still in use are skipped; 0 is never handed out.
    for (std::uint64_t tries = 0; tries < UINT32_MAX; ++tries) {
        const std::uint32_t key = g_next;
        g_next = g_next == UINT32_MAX ? 1 : g_next + 1;
        try {
            if (g_entries.try_emplace(key, Entry{kind, object}).second) return key;
        } catch (const std::bad_alloc&) {
            return 0;
        }
    }
    return 0;
}

void SetNextHandleKeyForTesting(std::uint32_t key) {
    std::lock_guard lock(g_mutex);
    g_next = key == 0 ? 1 : key;
}

void* LookupHandle(HandleKind kind, std::uint32_t key) {
    std::lock_guard lock(g_mutex);
    const auto it = g_entries.find(key);
    if (it == g_entries.end() || it->second.kind != kind) return nullptr;
    return it->second.object;
}

bool UnregisterHandle(HandleKind kind, std::uint32_t key) {
    std::lock_guard lock(g_mutex);
    const auto it = g_entries.find(key);
    if (it == g_entries.end() || it->second.kind != kind) return false;
    g_entries.erase(it);
    return true;
}
