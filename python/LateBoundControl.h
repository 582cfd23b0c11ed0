// One control, driven by name: every member is found with GetIDsOfNames and called through
// IDispatch::Invoke, with the member table telling a property from a method and which
// parameters are by reference. Events reach Python callables through the connection point.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <thread>

#include "PythonEventSink.h"
#include "control/MemberTable.h"
#include "platform/automation/ConnectionPoint.h"

namespace axpy {

namespace py = pybind11;

// The module's exception type (axlumora.Error), set when the module is initialised.
void SetErrorType(py::object type);

// Raises axlumora.Error for `member` with an HRESULT and a message (the HRESULT's meaning when
// the message is empty).
[[noreturn]] void RaiseError(const std::string& member, HRESULT hr, std::string message);

class LateBoundControl {
public:
    LateBoundControl();
    ~LateBoundControl();
    LateBoundControl(const LateBoundControl&) = delete;
    LateBoundControl& operator=(const LateBoundControl&) = delete;

    // Attribute access: a readable property's value, a method as a callable (which keeps `self`,
    // the Python object of this control, alive), an event's handler.
    py::object GetAttribute(py::object self, const std::string& name);
    // A writable property is put; an event name sets its handler. False when the name is neither.
    bool SetAttribute(const std::string& name, py::object value);

    // Calls method `entryIndex` of the member table. The result is Value (None when the method
    // has none); a method with by-reference parameters returns (Value, out1, out2, …) with the
    // by-reference parameters' final values in parameter order.
    py::object Call(int entryIndex, py::args args);
    // By name, for the module's own helpers.
    py::object Call(const char* member, py::args args);

    py::object On(const std::string& event, py::object handler);

    // Releases the control (its destroy handler fires OnDestroy now). Idempotent.
    void Close();
    bool closed() const { return !control_; }

private:
    IDispatch* Usable() const;
    DISPID DispIdOf(const EntryInfo& entry) const;
    py::object Invoke(const EntryInfo& entry, WORD flags, py::handle args);

    ComPtr<IDispatch> control_;
    std::unique_ptr<PythonEventSink> sink_ = std::make_unique<PythonEventSink>();
    std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace axpy
