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

#include "axlumora/Registry.h"

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
        std::map<std::string, std::pair<std::string, RegistryValue>>
            values;  // folded name -> (name, value)
        bool operator==(const Key&) const = default;
    };
    static RegistryStore ParseText(const std::string& text, bool& recognised);
    std::map<std::string, Key> keys_;  // folded path -> key
};
