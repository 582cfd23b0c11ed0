// The exported entry points of the in-process server, for hosts that link the control directly
// (tests); other hosts find them with dlsym.
#pragma once

#include "platform/automation/Unknown.h"

extern "C" {
HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
HRESULT DllCanUnloadNow();
HRESULT DllRegisterServer();
HRESULT DllUnregisterServer();
}
