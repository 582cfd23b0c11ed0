#include "PythonEventSink.h"

#include "VariantConversion.h"

namespace axpy {

const EventInfo* FindEventByName(std::string_view name) {
    for (const EventInfo& event : kIaxLumoraEvents)
        if (member_table_detail::EqualsIgnoreCase(event.name, name)) return &event;
    return nullptr;
}

py::object PythonEventSink::SetHandler(const EventInfo& event, py::object handler) {
    py::object previous = Handler(event);
    if (handler.is_none()) {
        handlers_.erase(event.dispid);
    } else {
        if (!PyCallable_Check(handler.ptr()))
            throw py::type_error(std::string("the handler of ") + event.name + " must be callable");
        handlers_[event.dispid] = std::move(handler);
    }
    return previous;
}

py::object PythonEventSink::Handler(const EventInfo& event) const {
    const auto found = handlers_.find(event.dispid);
    return found == handlers_.end() ? py::none() : found->second;
}

std::optional<py::error_already_set> PythonEventSink::TakePending() {
    std::optional<py::error_already_set> pending;
    pending.swap(pending_);
    return pending;
}

HRESULT PythonEventSink::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (!(riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IaxLumoraEvents))
        return E_NOINTERFACE;
    *ppvObject = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

HRESULT PythonEventSink::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT PythonEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT PythonEventSink::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID,
                                       DISPID* rgDispId) {
    if (!rgszNames || !rgDispId || cNames == 0) return E_POINTER;
    for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    const EventInfo* event =
        FindEventByName(rgszNames[0] ? WideToUtf8(rgszNames[0]) : std::string());
    if (!event) return DISP_E_UNKNOWNNAME;
    rgDispId[0] = event->dispid;
    return cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT PythonEventSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams,
                                VARIANT* pVarResult, EXCEPINFO*, UINT*) {
    if (pVarResult) VariantInit(pVarResult);
    const UINT count = pDispParams ? pDispParams->cArgs : 0;
    if (count && !pDispParams->rgvarg) return E_INVALIDARG;
    const auto found = handlers_.find(dispIdMember);
    if (found == handlers_.end()) return S_OK;
        // Events come on the thread that calls the control, which holds the interpreter; none
        // may reach Python while it is shutting down.
#if PY_VERSION_HEX >= 0x030D0000
    if (!Py_IsInitialized() || Py_IsFinalizing()) return S_OK;
#else
    if (!Py_IsInitialized() || _Py_IsFinalizing()) return S_OK;
#endif
    py::gil_scoped_acquire gil;
    try {
        py::tuple args(count);
        for (UINT i = 0; i < count; ++i)  // arguments arrive last first
            args[i] = FromVariant(pDispParams->rgvarg[count - 1 - i]);
        const py::object handler = found->second;  // the handler may replace itself
        const py::object answer = handler(*args);
        // A by-reference argument (OnKeyPress's Key) takes the handler's int answer.
        for (UINT i = 0; i < count && !answer.is_none(); ++i) {
            VARIANT& arg = pDispParams->rgvarg[count - 1 - i];
            if (arg.vt == (VT_BYREF | VT_I2) && arg.piVal) *arg.piVal = answer.cast<SHORT>();
        }
    } catch (py::error_already_set& error) {
        if (callDepth_ > 0 && !pending_) pending_.emplace(std::move(error));
        else if (callDepth_ == 0) error.discard_as_unraisable(found->second);
    } catch (const std::exception& error) {
        PyErr_SetString(PyExc_TypeError, error.what());
        py::error_already_set wrapped;
        if (callDepth_ > 0 && !pending_) pending_.emplace(std::move(wrapped));
        else if (callDepth_ == 0) wrapped.discard_as_unraisable(found->second);
    }
    return S_OK;
}

}  // namespace axpy
