// The exported entry points of the in-process server, for hosts that link the control's library
// (target axlumora::axlumora); hosts that load it at run time find them with dlsym.
#pragma once

#include "axlumora/Unknown.h"

extern "C" {
HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
HRESULT DllCanUnloadNow();
HRESULT DllRegisterServer();
HRESULT DllUnregisterServer();
// The version the library was built as ("1.0"), which may differ from the headers' own
// (AXLUMORA_VERSION_STRING in axlumora/Version.h).
const char* AxLumoraVersion();
}
