#include "host/EventSink.h"

#include <string>

#include "control/MemberTable.h"
#include "host/ValueFormat.h"

namespace host {

HRESULT EventSink::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (!(riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IaxLumoraEvents))
        return E_NOINTERFACE;
    *ppvObject = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

HRESULT EventSink::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT EventSink::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    if (!rgszNames || !rgDispId || cNames == 0) return E_POINTER;
    for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    const std::string name = rgszNames[0] ? WideToUtf8(rgszNames[0]) : std::string();
    for (const EventInfo& event : kIaxLumoraEvents)
        if (member_table_detail::EqualsIgnoreCase(event.name, name)) {
            rgDispId[0] = event.dispid;
            return cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    return DISP_E_UNKNOWNNAME;
}

HRESULT EventSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams,
                          VARIANT* pVarResult, EXCEPINFO*, UINT*) {
    ++events_;
    const EventInfo* event = FindEvent(dispIdMember);
    const UINT count = pDispParams ? pDispParams->cArgs : 0;
    if (count && !pDispParams->rgvarg) return E_INVALIDARG;
    std::string line = "event ";
    line += event ? event->name : "#" + std::to_string(dispIdMember);
    line += "(";
    // Arguments arrive last first. Names are shown when there is more than one.
    for (UINT i = 0; i < count; ++i) {
        const VARIANT& arg = pDispParams->rgvarg[count - 1 - i];
        if (i) line += ", ";
        if (event && count > 1 && static_cast<int>(i) < event->paramCount)
            line += std::string(event->params[i].name) + "=";
        line += FormatVariant(arg);  // a by-ref argument (OnKeyPress's Key) is read, not changed
    }
    line += ")";
    out_ << line << '\n';
    out_.flush();
    if (pVarResult) VariantInit(pVarResult);
    return S_OK;
}

HRESULT EventConnection::Connect(IUnknown* control, IUnknown* sink) {
    Disconnect();
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = control->QueryInterface(IID_IConnectionPointContainer, container.put_void());
    if (FAILED(hr)) return hr;
    hr = container->FindConnectionPoint(DIID_IaxLumoraEvents, point_.put());
    if (FAILED(hr)) return hr;
    DWORD cookie = 0;
    hr = point_->Advise(sink, &cookie);
    if (FAILED(hr)) {
        point_.reset();
        return hr;
    }
    cookie_ = cookie;
    return S_OK;
}

HRESULT EventConnection::Disconnect() {
    HRESULT hr = S_OK;
    if (point_ && cookie_) hr = point_->Unadvise(cookie_);
    cookie_ = 0;
    point_.reset();
    return hr;
}

void EventConnection::Detach() {
    cookie_ = 0;
    point_.reset();
}

}  // namespace host
