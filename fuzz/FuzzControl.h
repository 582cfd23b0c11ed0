// What the control-level fuzz targets share: a control created as a host creates it, and a
// private scratch folder (made once per process, removed at exit) for the files a member reads
// or writes, so no input can reach a file outside it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "control/DllEntry.h"
#include "control/cvaxLumoraMain.h"

namespace fuzz {

inline ComPtr<IaxLumora> NewControl() {
    ComPtr<IClassFactory> factory;
    ComPtr<IaxLumora> control;
    if (DllGetClassObject(CLASS_axLumora, IID_IClassFactory, factory.put_void()) != S_OK ||
        factory->CreateInstance(nullptr, IID_IaxLumora, control.put_void()) != S_OK)
        std::abort();
    return control;
}

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "axlumora-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
        // The control's settings too: a member that writes the registry writes it here.
        ::setenv("AXLUMORA_REGISTRY", (path_ / "registry.reg").c_str(), 1);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline const ScratchFolder& Scratch() {
    static const ScratchFolder folder;
    return folder;
}

inline void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace fuzz
