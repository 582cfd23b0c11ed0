// The error object and the per-thread slot that carries it from a failing member to its caller.
#include "platform/automation/ErrorInfo.h"

#include <atomic>
#include <memory>
#include <new>
#include <utility>

namespace {

// One object answers both the writer's interface (ICreateErrorInfo) and the reader's
// (IErrorInfo), as on the desktop: the creator fills it, then QueryInterfaces for IErrorInfo.
class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppvObject = static_cast<IErrorInfo*>(this);
        } else if (riid == IID_ICreateErrorInfo) {
            *ppvObject = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppvObject = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
        if (!pGUID) return E_INVALIDARG;
        *pGUID = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) override {
        return CopyOut(source_, pBstrSource);
    }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) override {
        return CopyOut(description_, pBstrDescription);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) override {
        return CopyOut(helpFile_, pBstrHelpFile);
    }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) override {
        if (!pdwHelpContext) return E_INVALIDARG;
        *pdwHelpContext = helpContext_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
        guid_ = rguid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) override {
        return Store(source_, szSource);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) override {
        return Store(description_, szDescription);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) override {
        return Store(helpFile_, szHelpFile);
    }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) override {
        helpContext_ = dwHelpContext;
        return S_OK;
    }

private:
    static HRESULT CopyOut(const BStr& value, BSTR* out) {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (!value.get()) return S_OK;
        *out = SysAllocStringLen(value.get(), value.length());
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Store(BStr& slot, LPCOLESTR text) {
        BSTR copy = SysAllocString(text);
        if (text && !copy) return E_OUTOFMEMORY;
        slot = BStr::Attach(copy);
        return S_OK;
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_ = GUID_NULL;
    BStr source_;
    BStr description_;
    BStr helpFile_;
    DWORD helpContext_ = 0;
};

// The error object of the calling thread; released when the thread ends.
thread_local ComPtr<IErrorInfo> t_errorInfo;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = nullptr;
    try {
        // The object starts with the one reference handed to the caller; Release deletes it.
        *pperrinfo = std::make_unique<ErrorObject>().release();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0) return E_INVALIDARG;
    // Swap first, release after: the old object's Release must not observe a half-set slot.
    ComPtr<IErrorInfo> previous = std::exchange(t_errorInfo, ComPtr<IErrorInfo>(perrinfo));
    return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (!pperrinfo) return E_INVALIDARG;
    *pperrinfo = nullptr;
    if (dwReserved != 0) return E_INVALIDARG;
    *pperrinfo = t_errorInfo.detach();
    return *pperrinfo ? S_OK : S_FALSE;
}
