// Everything a host of the axLumora control includes: the type library (IaxLumora,
// IaxLumoraEvents, records, enumerations), the automation runtime (BSTR, VARIANT, SAFEARRAY,
// IUnknown/IDispatch, error information, connection points), the server's entry points, and the
// platform calls a host may make (global memory, memory device contexts, the registry).
#pragma once

#include "axlumora/ConnectionPoint.h"
#include "axlumora/DllEntry.h"
#include "axlumora/ErrorInfo.h"
#include "axlumora/Gdi.h"
#include "axlumora/GlobalMemory.h"
#include "axlumora/OleAuto.h"
#include "axlumora/Registry.h"
#include "axlumora/Version.h"
#include "axlumora/cvaxLumora_TLB.h"
