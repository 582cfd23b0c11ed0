// Loads the control's library and creates the control through its exported class factory, as
// any in-process host does. The library stays loaded until the control is released and the
// library itself says it can be unloaded.
#pragma once

#include <string>

#include "platform/automation/Unknown.h"

namespace host {

class ControlLoader {
public:
    ControlLoader() = default;
    ControlLoader(const ControlLoader&) = delete;
    ControlLoader& operator=(const ControlLoader&) = delete;
    ~ControlLoader() { Unload(); }

    // The library to load: the --library option, else $AXLUMORA_LIBRARY, else the library
    // installed with this host, else the path built in, else libaxlumora.so next to the
    // executable.
    static std::string ResolveLibraryPath(const std::string& option);

    // The version the library at path was built as (its AxLumoraVersion), empty when it cannot
    // be loaded or does not tell.
    static std::string LibraryVersion(const std::string& path);

    // dlopen + DllGetClassObject + IClassFactory::CreateInstance(IID_IDispatch). On failure
    // returns false with a message in `error`.
    bool Load(const std::string& path, std::string& error);

    IDispatch* control() const { return control_.get(); }

    // Releases the control (its destroy handler runs now). Returns the count that Release
    // reported, 0 when the control went away.
    ULONG ReleaseControl();

    // Releases the control, then unloads the library when DllCanUnloadNow answers S_OK.
    // Returns false when the library had to stay loaded.
    bool Unload();

private:
    using CanUnloadFn = HRESULT (*)();

    void* library_ = nullptr;
    CanUnloadFn canUnload_ = nullptr;
    ComPtr<IDispatch> control_;
};

}  // namespace host
