// The version compiled into the library, for hosts that check what they loaded.
#include "axlumora/DllEntry.h"
#include "axlumora/Version.h"

extern "C" const char* AxLumoraVersion() { return AXLUMORA_VERSION_STRING; }
