// The per-user registry: a store kept in the text format of registry export files
// ("Windows Registry Editor Version 5.00"), at $AXLUMORA_REGISTRY or else
// $XDG_CONFIG_HOME/axlumora/registry.reg (~/.config/axlumora/registry.reg when unset).
// A bad or missing file reads as an empty store; reads never fail with anything but "absent".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/WinTypes.h"

using HKEY = std::uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_KEY_DELETED = 1018;  // the handle's key was deleted since it was opened

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD KEY_QUERY_VALUE = 0x0001;
constexpr DWORD KEY_SET_VALUE = 0x0002;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

// Values as stored: REG_SZ/REG_EXPAND_SZ data are UTF-16LE bytes with their terminating zero,
// as on the desktop platform; REG_DWORD 4 bytes and REG_QWORD 8 bytes little-endian.
struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool operator==(const RegistryValue&) const = default;
};

// Whole store in memory: key path (root name + "\" + subkey, compared case-insensitively) to
// its values (names compared case-insensitively; "" is the default value).
class RegistryStore {
public:
    // Parses export-file text (UTF-8, or UTF-16LE with a byte-order mark). Lines it cannot
    // read are skipped; a text without the header line gives an empty store.
    static RegistryStore Parse(const std::string& text);
    std::string Serialize() const;  // UTF-8 text with the version 5.00 header

    static std::string DefaultPath();
    static RegistryStore Load(const std::string& path);  // missing/bad file: empty store
    bool Save(const std::string& path) const;            // atomic replace; false on failure

    // How a Load went. A writer replaces only a Missing or Loaded file: one that exists but could
    // not be read, or is not in the export format, is left alone rather than overwritten.
    enum class LoadStatus { Missing, Loaded, Unrecognised, Unreadable };
    static RegistryStore Load(const std::string& path, LoadStatus& status);

    // What the text format can hold: no line breaks or NULs; key paths without empty components
    // and not starting with '-'. Set and CreateKey ignore anything else.
    static bool IsValidKeyPath(const std::string& keyPath);
    static bool IsValidValueName(const std::string& name);

    std::optional<RegistryValue> Get(const std::string& keyPath, const std::string& name) const;
    void Set(const std::string& keyPath, const std::string& name, RegistryValue value);
    bool DeleteValue(const std::string& keyPath, const std::string& name);
    void CreateKey(const std::string& keyPath);
    // A key also exists when only keys below it are stored: parents are implied, as after
    // RegCreateKeyEx of a deep path.
    bool KeyExists(const std::string& keyPath) const;
    // Removes the key and everything below it.
    bool DeleteTree(const std::string& keyPath);

    bool operator==(const RegistryStore&) const = default;

private:
    struct Key {
        std::string path;  // as first written
        std::map<std::string, std::pair<std::string, RegistryValue>> values;  // folded name -> (name, value)
        bool operator==(const Key&) const = default;
    };
    static RegistryStore ParseText(const std::string& text, bool& recognised);
    std::map<std::string, Key> keys_;  // folded path -> key
};

// Desktop-shaped access, each call reading (and for writes, rewriting) the store file.
// String data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) crosses these "A" functions as UTF-8 with a
// terminating zero, the store keeping UTF-16LE. As on the desktop, queries need KEY_QUERY_VALUE
// and value writes KEY_SET_VALUE in the access the key was opened with, and a handle whose key
// was deleted answers ERROR_KEY_DELETED. A store file that exists but cannot be read or is not
// in the export format is never replaced: writes fail with ERROR_ACCESS_DENIED.
LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                   HKEY* phkResult);
LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, char* lpClass,
                     DWORD dwOptions, DWORD samDesired, void* lpSecurityAttributes,
                     HKEY* phkResult, DWORD* lpdwDisposition);
LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                      BYTE* lpData, DWORD* lpcbData);
LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, const char* lpValueName);
LONG RegDeleteTreeA(HKEY hKey, const char* lpSubKey);
LONG RegCloseKey(HKEY hKey);
