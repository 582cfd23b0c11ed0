// The in-process server: module initialisation, the class factory of axLumora and the four
// exported entry points.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "control/cvaxLumoraMain.h"
#include "interaction/Cursors.h"
#include "platform/registry/Registry.h"

namespace {

constexpr const char* kProgId = "cvaxLumora.axLumora";
constexpr const char* kClassName = "axLumora Control";
constexpr const char* kTypeLibName = "cvaxLumora Library";
constexpr DWORD kMiscStatus = 0x12000;  // OLEMISC_SIMPLEFRAME | OLEMISC_ACTSLIKELABEL
constexpr const char* kDispatchProxyStub = "{00020424-0000-0000-C000-000000000046}";

std::atomic<long> g_serverLocks{0};

class AxLumoraFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        *ppvObject = nullptr;
        if (!(riid == IID_IUnknown || riid == IID_IClassFactory)) return E_NOINTERFACE;
        *ppvObject = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    // The factory lives as long as the module; its count only keeps the module loaded.
    ULONG STDMETHODCALLTYPE AddRef() override {
        ModuleAddRef();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ModuleRelease();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        *ppvObject = nullptr;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        return TaxLumora::Create(riid, ppvObject);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        if (fLock) ++g_serverLocks;
        else --g_serverLocks;
        return S_OK;
    }
};

AxLumoraFactory& Factory() {
    static AxLumoraFactory factory;
    return factory;
}

// Module initialisation: the debug switch is read once, then the factory is registered.
struct ModuleInitialisation {
    ModuleInitialisation() {
        RegisterCustomCursors();
        ReadDebugSwitch();
        WriteLog("TaxLumora.Initialization {R}");
        Factory();
    }
    ~ModuleInitialisation() { UnregisterCustomCursors(); }
};
const ModuleInitialisation g_moduleInitialisation;

std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                  g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string ModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&GuidText), &info) && info.dli_fname) return info.dli_fname;
    return {};
}

// Registration is per user: under HKEY_CURRENT_USER\Software\Classes.
const std::string kClassesRoot = "Software\\Classes\\";

bool SetString(const std::string& key, const char* name, const std::string& value) {
    HKEY handle = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1));
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid,
                                                                 void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(rclsid == CLASS_axLumora)) return CLASS_E_CLASSNOTAVAILABLE;
    return Factory().QueryInterface(riid, ppv);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return (ModuleObjectCount() == 0 && g_serverLocks.load() == 0) ? S_OK : S_FALSE;
}

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    const std::string clsid = GuidText(CLASS_axLumora);
    const std::string libid = GuidText(LIBID_cvaxLumora);
    const std::string path = ModulePath();
    const std::string classKey = kClassesRoot + "CLSID\\" + clsid;
    bool ok = SetString(classKey, "", kClassName) &&
              SetString(classKey + "\\InprocServer32", "", path) &&
              SetString(classKey + "\\InprocServer32", "ThreadingModel", "Apartment") &&
              SetString(classKey + "\\ProgID", "", kProgId) &&
              SetString(classKey + "\\Control", "", "") &&
              SetString(classKey + "\\MiscStatus", "", "0") &&
              SetString(classKey + "\\MiscStatus\\1", "", std::to_string(kMiscStatus)) &&
              SetString(classKey + "\\ToolboxBitmap32", "", path + ",1") &&
              SetString(classKey + "\\TypeLib", "", libid) &&
              SetString(classKey + "\\Version", "", "1.0") &&
              SetString(kClassesRoot + kProgId, "", kClassName) &&
              SetString(kClassesRoot + kProgId + "\\CLSID", "", clsid) &&
              SetString(kClassesRoot + "TypeLib\\" + libid + "\\1.0", "", kTypeLibName) &&
              SetString(kClassesRoot + "TypeLib\\" + libid + "\\1.0\\0\\win32", "", path + ",1");
    for (const auto& [iid, name] : {std::pair{IID_IaxLumora, "IaxLumora"},
                                    std::pair{DIID_IaxLumoraEvents, "IaxLumoraEvents"}}) {
        const std::string key = kClassesRoot + "Interface\\" + GuidText(iid);
        ok = ok && SetString(key, "", name) &&
             SetString(key + "\\ProxyStubClsid32", "", kDispatchProxyStub) &&
             SetString(key + "\\TypeLib", "", libid) &&
             SetString(key + "\\TypeLib", "Version", "1.0");
    }
    return ok ? S_OK : SELFREG_E_CLASS;
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
    const std::string clsid = GuidText(CLASS_axLumora);
    RegDeleteTreeA(HKEY_CURRENT_USER, (kClassesRoot + "CLSID\\" + clsid).c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, (kClassesRoot + kProgId).c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER,
                   (kClassesRoot + "TypeLib\\" + GuidText(LIBID_cvaxLumora)).c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER,
                   (kClassesRoot + "Interface\\" + GuidText(IID_IaxLumora)).c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER,
                   (kClassesRoot + "Interface\\" + GuidText(DIID_IaxLumoraEvents)).c_str());
    return S_OK;
}

}  // extern "C"
