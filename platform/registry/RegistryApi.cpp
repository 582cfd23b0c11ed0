// Desktop-shaped registry functions over the store file. Every call reads the file afresh and a
// write rewrites it, so that several processes (the control, its host, a registration tool) see
// each other's changes; one mutex orders the calls of this process.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryText.h"

namespace {

struct OpenKey {
    std::string path;
    DWORD access = 0;
};

std::mutex g_mutex;
std::map<HKEY, OpenKey> g_openKeys;
// Opened keys get small values below the predefined roots' 0x80000000 range.
constexpr HKEY kFirstKey = 0x100;
constexpr HKEY kLastKey = 0x7FFFFFFF;
HKEY g_nextKey = kFirstKey;

const char* RootName(HKEY hKey) {
    switch (hKey) {
        case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
        case HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
        case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
        default: return nullptr;
    }
}

bool IsRootPath(const std::string& path) { return path.find('\\') == std::string::npos; }

// Path and access of a root or opened key; false for an unknown handle.
bool Describe(HKEY hKey, OpenKey& out) {
    if (const char* root = RootName(hKey)) {
        out = {root, KEY_ALL_ACCESS};
        return true;
    }
    const auto it = g_openKeys.find(hKey);
    if (it == g_openKeys.end()) return false;
    out = it->second;
    return true;
}

// Joins a subkey to its parent's path. A trailing backslash is tolerated, as on the desktop.
LONG JoinSubKey(HKEY hKey, const char* subKey, OpenKey& key) {
    if (!Describe(hKey, key)) return ERROR_INVALID_HANDLE;
    if (!subKey || !*subKey) return ERROR_SUCCESS;
    std::string sub(subKey);
    if (sub.back() == '\\') sub.pop_back();
    const std::string joined = key.path + "\\" + sub;
    if (!RegistryStore::IsValidKeyPath(joined)) return ERROR_INVALID_PARAMETER;
    key.path = joined;
    return ERROR_SUCCESS;
}

HKEY AllocateKey(OpenKey key) {
    // Skip values still in use after a wrap-around; a full table is out of reach in practice.
    for (HKEY tries = 0; tries <= kLastKey - kFirstKey; ++tries) {
        const HKEY candidate = g_nextKey;
        g_nextKey = g_nextKey == kLastKey ? kFirstKey : g_nextKey + 1;
        if (g_openKeys.try_emplace(candidate, std::move(key)).second) return candidate;
    }
    return 0;
}

bool Exists(const RegistryStore& store, const std::string& path) {
    return IsRootPath(path) || store.KeyExists(path);
}

std::string ValueName(const char* name) { return name ? std::string(name) : std::string(); }

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The "A" functions see strings in the 8-bit code page (UTF-8 here); the store keeps UTF-16LE.
std::vector<BYTE> ToCallerForm(const RegistryValue& value) {
    if (!IsStringType(value.type)) return value.data;
    const std::string utf8 = registry_text::Utf16LeToUtf8(value.data);
    std::vector<BYTE> out(utf8.begin(), utf8.end());
    // A stored string without its terminator still reaches the caller terminated.
    if (out.empty() || out.back() != 0) out.push_back(0);
    return out;
}

std::vector<BYTE> ToStoredForm(DWORD type, const BYTE* data, DWORD size) {
    std::vector<BYTE> bytes(data, data + size);
    if (!IsStringType(type)) return bytes;
    if (type != REG_MULTI_SZ) {
        // Anything after the first zero is not part of a single string.
        const auto nul = std::find(bytes.begin(), bytes.end(), BYTE{0});
        bytes.erase(nul, bytes.end());
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const bool terminated = !bytes.empty() && bytes.back() == 0;
    return registry_text::Utf8ToUtf16Le(text, !terminated);
}

// Loads the store for a write; false when the file is there but must not be replaced.
bool LoadForWrite(const std::string& path, RegistryStore& store) {
    RegistryStore::LoadStatus status;
    store = RegistryStore::Load(path, status);
    return status == RegistryStore::LoadStatus::Missing ||
           status == RegistryStore::LoadStatus::Loaded;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD /*ulOptions*/, DWORD samDesired,
                   HKEY* phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    if (RootName(hKey) && (!lpSubKey || !*lpSubKey)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    OpenKey key;
    if (const LONG rc = JoinSubKey(hKey, lpSubKey, key); rc != ERROR_SUCCESS) return rc;
    if (!Exists(RegistryStore::Load(RegistryStore::DefaultPath()), key.path))
        return ERROR_FILE_NOT_FOUND;
    key.access = samDesired;
    const HKEY result = AllocateKey(std::move(key));
    if (!result) return ERROR_ACCESS_DENIED;
    *phkResult = result;
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD /*Reserved*/, char* /*lpClass*/,
                     DWORD /*dwOptions*/, DWORD samDesired, void* /*lpSecurityAttributes*/,
                     HKEY* phkResult, DWORD* lpdwDisposition) {
    if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    OpenKey key;
    if (const LONG rc = JoinSubKey(hKey, lpSubKey, key); rc != ERROR_SUCCESS) return rc;
    const std::string file = RegistryStore::DefaultPath();
    RegistryStore store;
    const bool writable = LoadForWrite(file, store);
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (!Exists(store, key.path)) {
        if (!writable) return ERROR_ACCESS_DENIED;
        store.CreateKey(key.path);
        if (!store.Save(file)) return ERROR_ACCESS_DENIED;
        disposition = REG_CREATED_NEW_KEY;
    }
    key.access = samDesired;
    const HKEY result = AllocateKey(std::move(key));
    if (!result) return ERROR_ACCESS_DENIED;
    *phkResult = result;
    if (lpdwDisposition) *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                      BYTE* lpData, DWORD* lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    OpenKey key;
    if (!Describe(hKey, key)) return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    const RegistryStore store = RegistryStore::Load(RegistryStore::DefaultPath());
    if (!Exists(store, key.path)) return ERROR_KEY_DELETED;
    const auto value = store.Get(key.path, ValueName(lpValueName));
    if (!value) return ERROR_FILE_NOT_FOUND;

    const std::vector<BYTE> data = ToCallerForm(*value);
    if (data.size() > UINT32_MAX) return ERROR_MORE_DATA;
    const auto needed = static_cast<DWORD>(data.size());
    if (lpType) *lpType = value->type;
    if (!lpcbData) return ERROR_SUCCESS;
    if (!lpData) {
        *lpcbData = needed;
        return ERROR_SUCCESS;
    }
    const DWORD capacity = *lpcbData;
    *lpcbData = needed;
    if (capacity < needed) return ERROR_MORE_DATA;
    if (needed) std::memcpy(lpData, data.data(), needed);
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    const std::string name = ValueName(lpValueName);
    if (!RegistryStore::IsValidValueName(name)) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    OpenKey key;
    if (!Describe(hKey, key)) return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    const std::string file = RegistryStore::DefaultPath();
    RegistryStore store;
    if (!LoadForWrite(file, store)) return ERROR_ACCESS_DENIED;
    if (!Exists(store, key.path)) return ERROR_KEY_DELETED;
    store.Set(key.path, name, {dwType, ToStoredForm(dwType, lpData, cbData)});
    return store.Save(file) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) {
    std::lock_guard lock(g_mutex);
    OpenKey key;
    if (!Describe(hKey, key)) return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    const std::string file = RegistryStore::DefaultPath();
    RegistryStore store;
    const bool writable = LoadForWrite(file, store);
    if (!Exists(store, key.path)) return ERROR_KEY_DELETED;
    if (!store.DeleteValue(key.path, ValueName(lpValueName))) return ERROR_FILE_NOT_FOUND;
    if (!writable) return ERROR_ACCESS_DENIED;
    return store.Save(file) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegDeleteTreeA(HKEY hKey, const char* lpSubKey) {
    std::lock_guard lock(g_mutex);
    OpenKey key;
    if (const LONG rc = JoinSubKey(hKey, lpSubKey, key); rc != ERROR_SUCCESS) return rc;
    const std::string file = RegistryStore::DefaultPath();
    RegistryStore store;
    const bool writable = LoadForWrite(file, store);
    if (!Exists(store, key.path)) return ERROR_FILE_NOT_FOUND;
    if (!writable) return ERROR_ACCESS_DENIED;
    if (lpSubKey && *lpSubKey) {
        store.DeleteTree(key.path);
    } else {
        // Without a subkey the key itself stays, emptied of values and subkeys.
        const bool stored = store.KeyExists(key.path);
        store.DeleteTree(key.path);
        if (stored && !IsRootPath(key.path)) store.CreateKey(key.path);
    }
    return store.Save(file) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegCloseKey(HKEY hKey) {
    if (RootName(hKey)) return ERROR_SUCCESS;
    std::lock_guard lock(g_mutex);
    return g_openKeys.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
