#include "host/ControlLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "axlumora/cvaxLumora_TLB.h"
#include "host/ValueFormat.h"

namespace host {

namespace {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);

std::string Failure(const char* what, HRESULT hr) {
    std::string text = std::string(what) + " failed: " + FormatHResult(hr);
    const std::string meaning = HResultText(hr);
    if (!meaning.empty()) text += " " + meaning;
    return text;
}

}  // namespace

std::string ControlLoader::ResolveLibraryPath(const std::string& option) {
    if (!option.empty()) return option;
    if (const char* env = std::getenv("AXLUMORA_LIBRARY"); env && *env) return env;
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
#ifdef AXLUMORA_INSTALLED_LIBRARY
    // An installed host takes the library installed with it, even while the build tree exists.
    if (!ec) {
        const auto installed = (self.parent_path() / AXLUMORA_INSTALLED_LIBRARY).lexically_normal();
        if (std::filesystem::exists(installed)) return installed.string();
    }
#endif
#ifdef AXLUMORA_DEFAULT_LIBRARY
    if (std::filesystem::exists(AXLUMORA_DEFAULT_LIBRARY)) return AXLUMORA_DEFAULT_LIBRARY;
#endif
    if (!ec) return (self.parent_path() / "libaxlumora.so").string();
    return "libaxlumora.so";
}

std::string ControlLoader::LibraryVersion(const std::string& path) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return {};
    using VersionFn = const char* (*)();
    const auto version = reinterpret_cast<VersionFn>(dlsym(library, "AxLumoraVersion"));
    std::string text = version ? version() : "";
    dlclose(library);  // no object of it was created
    return text;
}

bool ControlLoader::Load(const std::string& path, std::string& error) {
    Unload();
    // RTLD_LOCAL: the control's symbols stay its own; only the exported entry points are used.
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        const char* reason = dlerror();
        error = "cannot load " + path + ": " + (reason ? reason : "unknown reason");
        return false;
    }
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(library_, "DllGetClassObject"));
    canUnload_ = reinterpret_cast<CanUnloadFn>(dlsym(library_, "DllCanUnloadNow"));
    if (!getClassObject) {
        error = path + " does not export DllGetClassObject";
        Unload();
        return false;
    }
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(CLASS_axLumora, IID_IClassFactory, factory.put_void());
    if (FAILED(hr) || !factory) {
        error = Failure("DllGetClassObject(axLumora)", hr);
        Unload();
        return false;
    }
    hr = factory->CreateInstance(nullptr, IID_IDispatch, control_.put_void());
    if (FAILED(hr) || !control_) {
        error = Failure("IClassFactory::CreateInstance", hr);
        factory.reset();
        Unload();
        return false;
    }
    return true;
}

ULONG ControlLoader::ReleaseControl() {
    IDispatch* control = control_.detach();
    return control ? control->Release() : 0;
}

bool ControlLoader::Unload() {
    ReleaseControl();
    if (!library_) return true;
    // Without DllCanUnloadNow the library cannot tell, so it stays: unloading code that still
    // has live objects would leave their vtables dangling.
    if (!canUnload_ || canUnload_() != S_OK) return false;
    dlclose(library_);
    library_ = nullptr;
    canUnload_ = nullptr;
    return true;
}

}  // namespace host
