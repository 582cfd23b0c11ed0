// Finds libaxlumora.so and creates controls through its exported class factory, as any
// in-process host does. The library is loaded once and stays loaded for the life of the
// process: a Python object may outlive any point at which unloading would be safe.
#pragma once

#include <string>

#include "platform/automation/Unknown.h"

namespace axpy {

// Where the control's library is looked for, in order: $AXLUMORA_LIBRARY; next to this module;
// next to the platform library this module was linked against (the build tree and an installed
// prefix both keep the two libraries side by side).
std::string ResolveControlLibrary();

// Creates one control and returns its IDispatch. Throws std::runtime_error with the reason.
ComPtr<IDispatch> CreateControl();

}  // namespace axpy
