#include "ControlLibrary.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "control/cvaxLumora_TLB.h"
#include "platform/handles/GlobalMemory.h"

namespace axpy {

namespace {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);

std::filesystem::path DirectoryOf(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname) return {};
    std::error_code ec;
    const auto file = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::filesystem::path(info.dli_fname).parent_path() : file.parent_path();
}

std::string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

struct LoadedLibrary {
    std::string path;
    GetClassObjectFn getClassObject = nullptr;
    std::string error;
};

const LoadedLibrary& Library() {
    static LoadedLibrary library;
    static std::once_flag once;
    std::call_once(once, [] {
        library.path = ResolveControlLibrary();
        // Never closed: see the header. RTLD_LOCAL keeps the control's symbols its own.
        void* handle = dlopen(library.path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* reason = dlerror();
            library.error =
                "cannot load " + library.path + ": " + (reason ? reason : "unknown reason");
            return;
        }
        library.getClassObject =
            reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
        if (!library.getClassObject)
            library.error = library.path + " does not export DllGetClassObject";
    });
    return library;
}

}  // namespace

std::string ResolveControlLibrary() {
    if (const char* env = std::getenv("AXLUMORA_LIBRARY"); env && *env) return env;
    const std::filesystem::path candidates[] = {
        DirectoryOf(reinterpret_cast<const void*>(&ResolveControlLibrary)),
        DirectoryOf(reinterpret_cast<const void*>(&GlobalAlloc)),
    };
    for (const auto& directory : candidates) {
        if (directory.empty()) continue;
        for (const char* name : {AXLUMORA_LIBRARY_FILE, "libaxlumora.so"}) {
            std::error_code ec;
            if (std::filesystem::exists(directory / name, ec)) return (directory / name).string();
        }
    }
    return "libaxlumora.so";  // the dynamic loader's own search is the last resort
}

ComPtr<IDispatch> CreateControl() {
    const LoadedLibrary& library = Library();
    if (!library.getClassObject) throw std::runtime_error(library.error);
    ComPtr<IClassFactory> factory;
    HRESULT hr = library.getClassObject(CLASS_axLumora, IID_IClassFactory, factory.put_void());
    if (FAILED(hr) || !factory)
        throw std::runtime_error("DllGetClassObject(axLumora) failed: " + HexCode(hr));
    ComPtr<IDispatch> control;
    hr = factory->CreateInstance(nullptr, IID_IDispatch, control.put_void());
    if (FAILED(hr) || !control)
        throw std::runtime_error("IClassFactory::CreateInstance failed: " + HexCode(hr));
    return control;
}

}  // namespace axpy
