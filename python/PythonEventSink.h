// The module's sink for IaxLumoraEvents: calls the Python callable set for an event with the
// event's arguments. The sink is owned by its control wrapper, not by its reference count
// (AddRef/Release only count), so the owner can see whether the control still holds it.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <map>
#include <optional>

#include "control/MemberTable.h"
#include "platform/automation/ConnectionPoint.h"
#include "platform/automation/OleAuto.h"

namespace axpy {

namespace py = pybind11;

class PythonEventSink final : public IDispatch {
public:
    PythonEventSink() = default;
    PythonEventSink(const PythonEventSink&) = delete;
    PythonEventSink& operator=(const PythonEventSink&) = delete;
    ~PythonEventSink() = default;

    // Sets (or with None clears) the handler of an event; returns the one it replaces.
    py::object SetHandler(const EventInfo& event, py::object handler);
    py::object Handler(const EventInfo& event) const;

    // While a member call runs, an exception raised by a handler is kept and raised by the call
    // when it returns; outside calls (the control's destruction) it is reported as unraisable.
    void BeginCall() { ++callDepth_; }
    void EndCall() { --callDepth_; }
    std::optional<py::error_already_set> TakePending();

    ULONG references() const { return references_.load(); }
    // Handlers are dropped so that the objects they hold go with the control, not with the sink.
    void ClearHandlers() { handlers_.clear(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                            LCID lcid, DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    std::atomic<ULONG> references_{0};
    std::map<DISPID, py::object> handlers_;
    int callDepth_ = 0;
    std::optional<py::error_already_set> pending_;
};

// The event by name (case-insensitive), or null.
const EventInfo* FindEventByName(std::string_view name);

}  // namespace axpy
