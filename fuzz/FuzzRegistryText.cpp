// Any bytes as the registry store's file: parsed, written back and parsed again (the store must
// survive its own round trip), and read through the desktop-shaped functions from a file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzControl.h"
#include "fuzz/Harnesses.h"
#include "platform/registry/Registry.h"

void fuzz::RegistryTextInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const RegistryStore store = RegistryStore::Parse(text);
    if (RegistryStore::Parse(store.Serialize()) != store) std::abort();

    // The same bytes as the file the functions read: open, query and write one value.
    const std::string path = fuzz::Scratch().File("registry.reg");
    fuzz::WriteFile(path, data, size);
    HKEY key = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Corvane\\Savonne", 0, KEY_ALL_ACCESS, &key) ==
        ERROR_SUCCESS) {
        BYTE buffer[64];
        DWORD type = 0, bytes = sizeof buffer;
        RegQueryValueExA(key, "", nullptr, &type, buffer, &bytes);
        const DWORD one = 1;
        RegSetValueExA(key, "Fuzz", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
        RegCloseKey(key);
    }
}

AXLUMORA_FUZZ_ENTRY(fuzz::RegistryTextInput)
