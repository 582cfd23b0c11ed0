// An event sink that records the events it receives, as a host's sink would see them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "axlumora/cvaxLumora_TLB.h"
#include "platform/automation/ConnectionPoint.h"

class RecordingSink final : public IDispatch {
public:
    struct Event {
        DISPID dispid;
        std::vector<std::string> args;  // strings as text, numbers in decimal
    };

    // Answers QueryInterface for the events interface only when asked to.
    explicit RecordingSink(bool speaksEvents = true) : speaksEvents_(speaksEvents) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch ||
            (speaksEvents_ && riid == DIID_IaxLumoraEvents)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT*, EXCEPINFO* exception, UINT*) override {
        Event event{dispid, {}};
        EXPECT_EQ(flags, DISPATCH_METHOD);
        for (UINT i = params->cArgs; i-- > 0;) {
            Variant text;
            VariantChangeType(&text, &params->rgvarg[i], 0, VT_BSTR);
            event.args.push_back(text.vt == VT_BSTR ? BstrToUtf8(text.bstrVal) : "?");
        }
        events.push_back(event);
        if (onEvent) onEvent(dispid);
        if (failWith) {
            if (exception) {
                *exception = EXCEPINFO{};
                exception->scode = failWith;
                exception->bstrDescription = Utf8ToBstr("handler failed");
            }
            return DISP_E_EXCEPTION;
        }
        return S_OK;
    }

    std::vector<Event> events;
    std::function<void(DISPID)> onEvent;
    ULONG refs = 1;
    HRESULT failWith = S_OK;

private:
    bool speaksEvents_;
};

// Connects a sink to a control's events for the scope.
class Connection {
public:
    Connection(IUnknown* control, IUnknown* sink) {
        ComPtr<IConnectionPointContainer> container;
        EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()),
                  S_OK);
        EXPECT_EQ(container->FindConnectionPoint(DIID_IaxLumoraEvents, point_.put()), S_OK);
        advised_ = point_->Advise(sink, &cookie_);
    }
    ~Connection() {
        if (SUCCEEDED(advised_)) point_->Unadvise(cookie_);
    }
    HRESULT result() const { return advised_; }

private:
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    HRESULT advised_ = E_FAIL;
};
