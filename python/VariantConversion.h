// Python values to automation variants and back. The member table says what a parameter is;
// Python says what the caller passed: the control's Invoke converts between the two, so a value
// is handed over in its natural variant type and only by-reference slots are typed here.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <vector>

#include "control/MemberTable.h"
#include "host/ByRefArgument.h"
#include "platform/automation/OleAuto.h"
#include "platform/handles/MemoryRegions.h"

namespace axpy {

namespace py = pybind11;

// An automation object the control handed out (the Font property); it can be passed back.
struct DispatchRef {
    ComPtr<IDispatch> object;
};

// A Python buffer whose address is passed to the control: pinned (and its bytes registered as a
// known memory region, so the control can refuse to read past its end) until the call returns.
class PinnedBuffer {
public:
    explicit PinnedBuffer(py::handle object);
    ~PinnedBuffer();
    PinnedBuffer(const PinnedBuffer&) = delete;
    PinnedBuffer& operator=(const PinnedBuffer&) = delete;
    std::uint64_t address() const { return reinterpret_cast<std::uintptr_t>(view_.buf); }

private:
    Py_buffer view_{};
    MemoryRegionRegistration region_;
};

// Storage that must outlive one Invoke: pinned buffers and the typed slots behind by-reference
// arguments.
struct CallResources {
    std::vector<std::unique_ptr<PinnedBuffer>> buffers;
    std::vector<std::unique_ptr<host::ByRefStorage>> slots;
};

// The variant for argument `value` of parameter `param`:
//   bool → VT_BOOL, int → VT_I4 (VT_I8 / VT_UI8 when it does not fit), float → VT_R8,
//   str → VT_BSTR, dict → a TaxLumora_Rect record, Dispatch → VT_DISPATCH, None → VT_EMPTY;
//   an object with the buffer protocol → its address for a 64-bit address parameter (a writable,
//   C-contiguous buffer: the control may write into it), else a copy as a byte array.
// Throws py::type_error or py::value_error for values no variant can carry.
Variant ToVariant(py::handle value, const ParamInfo& param, CallResources& resources);

// A by-reference argument: `value` converted to the parameter's own type, in a slot of
// `resources` that the returned VT_BYREF variant points at.
Variant ToByRefVariant(py::handle value, const ParamInfo& param, CallResources& resources);

// The Python value of a variant: int, float, bool, str, bytes (byte arrays), dict (records),
// Dispatch, or None for an empty variant. By-reference variants give what they point at.
py::object FromVariant(const VARIANT& value);

}  // namespace axpy
