// Stack-owned automation objects for the automation tests: their reference counts are readable
// and Release never deletes, so a test can check that every AddRef was balanced.
#pragma once

#include "platform/automation/OleAuto.h"

namespace automation_test {

// An IDispatch that also answers one extra interface (an event interface, say) and whose
// value property (DISPID_VALUE) returns `value`; with `value` empty it has no value property.
class ProbeDispatch final : public IDispatch {
public:
    explicit ProbeDispatch(const IID& extra = GUID_NULL) : extra_(extra) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch ||
            (!(extra_ == GUID_NULL) && riid == extra_)) {
            *ppvObject = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS*,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        ++invokeCalls;
        if (member != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || value.vt == VT_EMPTY)
            return DISP_E_MEMBERNOTFOUND;
        return VariantCopy(result, &value);
    }

    ULONG refs = 1;  // the owner's reference
    int invokeCalls = 0;
    Variant value;

private:
    IID extra_;
};

}  // namespace automation_test
