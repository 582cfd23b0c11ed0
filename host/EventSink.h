// The host's sink for IaxLumoraEvents: prints every event the control fires, with its
// arguments, as `event OnMouseDown(Button=0, Shift=0, x=10, y=20)`.
//
// The sink is owned by the host (not by its reference count): AddRef/Release only count, so
// the owner can see whether the control still holds it. The owner must keep it alive until
// the control has let go of it.
#pragma once

#include <atomic>
#include <ostream>

#include "platform/automation/ConnectionPoint.h"
#include "platform/automation/OleAuto.h"

namespace host {

class EventSink final : public IDispatch {
public:
    explicit EventSink(std::ostream& out) : out_(out) {}
    EventSink(const EventSink&) = delete;
    EventSink& operator=(const EventSink&) = delete;
    ~EventSink() = default;

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

    // References others hold on the sink.
    ULONG references() const { return references_.load(); }
    int eventCount() const { return events_; }

private:
    std::ostream& out_;
    std::atomic<ULONG> references_{0};
    int events_ = 0;
};

// Connects a sink to the control's IaxLumoraEvents connection point for the scope of the
// object (or until Disconnect).
class EventConnection {
public:
    EventConnection() = default;
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;
    ~EventConnection() { Disconnect(); }

    // FindConnectionPoint(DIID_IaxLumoraEvents) + Advise.
    HRESULT Connect(IUnknown* control, IUnknown* sink);
    HRESULT Disconnect();
    // Lets go of the connection point but leaves the sink advised, so that the control can be
    // released while connected: its destroy handler still reaches the sink (OnDestroy) and
    // then disconnects every sink itself.
    void Detach();
    bool connected() const { return cookie_ != 0; }

private:
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace host
