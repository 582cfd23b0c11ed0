#include "control/cvaxLumoraMain.h"

#include <vector>

#include "engine/Kernel.h"
#include "platform/handles/HandleTable.h"

namespace {

std::atomic<long> g_moduleObjects{0};

constexpr const char16_t* kErrorSource = u"cvaxLumora.axLumora";

}  // namespace

void ModuleAddRef() { ++g_moduleObjects; }
void ModuleRelease() { --g_moduleObjects; }
long ModuleObjectCount() { return g_moduleObjects.load(); }

void SetCallErrorInfo(const std::string& description, DWORD helpContext) {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put()))) return;
    BStr text = BStr::FromUtf8(description);
    std::u16string source(kErrorSource);
    create->SetGUID(IID_IaxLumora);
    create->SetSource(source.data());
    create->SetDescription(text.get());
    create->SetHelpContext(helpContext);
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.put_void())))
        SetErrorInfo(0, info.get());
}

// ---- creation and destruction -----------------------------------------------------------------

TaxLumora::TaxLumora(CreateKey) {
    ModuleAddRef();
    eventsPoint_ = std::make_unique<ConnectionPoint>(
        *this, DIID_IaxLumoraEvents, [this](IUnknown* sink) { UpdateEventSink(sink); });
}

TaxLumora::~TaxLumora() {
    if (!destroyed_) Destroy();
    if (currentBitmapKey_) UnregisterHandle(HandleKind::EngineBitmap, currentBitmapKey_);
    // Whatever Destroy could not free (it only frees a present image) goes now.
    L_FreeBitmap(&CurrentBitmap);
    ModuleRelease();
}

HRESULT TaxLumora::Create(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    std::unique_ptr<TaxLumora> owned;
    try {
        owned = std::make_unique<TaxLumora>(CreateKey{});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // From here the reference count owns the object; the factory holds one reference while
    // the control initialises.
    ComPtr<IaxLumora> hold(owned.release());
    TaxLumora* control = static_cast<TaxLumora*>(hold.get());
    control->Initialize();
    return control->QueryInterface(riid, ppv);
}

void TaxLumora::Initialize() {
    WriteLog("axLumora.Initialize (DLL Mode), Begin #" + std::to_string(refCount_.load()));
    BuildForm();
    LastFileName.clear();
    HookWindowProc();
    PaintSizeMode = PAINTSIZEMODE_NORMAL;
    BackErase = true;
    AutoRepaint = false;
    AutoScrollbars = true;
    AutoSetRects = true;
    CreatePaintBox();
    int status = L_InitBitmap(&CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, 0, 0, 0);
    WriteLog("axLumora.Initialize, L_InitBitmap:" + std::to_string(status));
    currentBitmapKey_ = RegisterHandle(HandleKind::EngineBitmap, &CurrentBitmap);
    WriteLog("axLumora.Initialize, End");
}

// The destroy handler: palette, image, paint box, then OnDestroy, in that order.
void TaxLumora::Destroy() {
    destroyed_ = true;
    WriteLog("TaxLumora.Destroy, Start");
    if (PaintPalette) DeletePalette(static_cast<HPALETTE>(PaintPalette));
    PaintPalette = nullptr;
    if (ImagePresent()) L_FreeBitmap(&CurrentBitmap);
    MainPaintBox.reset();
    try {
        FireEvent(DISPID_OnDestroy);
    } catch (...) {
        // The host's handler failed while the control is going away: nothing to report to.
    }
    WriteLog("TaxLumora.Destroy, End");
    if (eventsPoint_) eventsPoint_->DisconnectAll();
    EventSink.reset();
}

// ---- IUnknown ---------------------------------------------------------------------------------

HRESULT TaxLumora::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IaxLumora)
        *ppvObject = static_cast<IaxLumora*>(this);
    else if (riid == IID_IConnectionPointContainer)
        *ppvObject = static_cast<IConnectionPointContainer*>(this);
    else if (riid == IID_ISupportErrorInfo) *ppvObject = static_cast<ISupportErrorInfo*>(this);
    else if (riid == IID_IOleWindow) *ppvObject = static_cast<IOleWindow*>(this);
    else if (riid == IID_IFormWidget) *ppvObject = static_cast<IFormWidget*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG TaxLumora::AddRef() { return ++refCount_; }

ULONG TaxLumora::Release() {
    ULONG remaining = --refCount_;
    if (remaining == 0) {
        // Guard against re-entrant releases while the destroy handler fires OnDestroy.
        refCount_ = 1u << 30;
        std::unique_ptr<TaxLumora> self(this);
    }
    return remaining;
}

HRESULT TaxLumora::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID_IaxLumora ? S_OK : S_FALSE;
}

// ---- connection points ------------------------------------------------------------------------

HRESULT TaxLumora::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return CreateConnectionPointEnumerator({eventsPoint_.get()}, ppEnum);
}

HRESULT TaxLumora::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) return E_POINTER;
    *ppCP = nullptr;
    if (!(riid == DIID_IaxLumoraEvents)) return CONNECT_E_NOCONNECTION;
    *ppCP = eventsPoint_.get();
    (*ppCP)->AddRef();
    return S_OK;
}

void TaxLumora::UpdateEventSink(IUnknown* sink) {
    EventSink.reset();
    if (sink) {
        ComPtr<IDispatch> events;
        if (SUCCEEDED(sink->QueryInterface(DIID_IaxLumoraEvents, events.put_void())))
            EventSink = events;
    }
}

// ---- events -----------------------------------------------------------------------------------

void TaxLumora::FireEvent(DISPID dispid, VARIANT* argsReversed, UINT argCount) {
    if (!EventSink) return;
    ComPtr<IDispatch> sink = EventSink;  // the handler may disconnect while it runs
    DISPPARAMS params{argsReversed, nullptr, argCount, 0};
    EXCEPINFO exception{};
    HRESULT hr = sink->Invoke(dispid, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                              nullptr, &exception, nullptr);
    std::string message;
    if (exception.bstrDescription) message = BstrToUtf8(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr)) {
        if (hr == DISP_E_EXCEPTION && FAILED(exception.scode)) hr = exception.scode;
        throw ComError(hr, message.empty() ? "Event handler failed" : message);
    }
}

void TaxLumora::FireOnLog(std::string_view text) {
    if (!EventSink) return;
    Variant arg = Variant::String(text);
    FireEvent(DISPID_OnLog, &arg, 1);
}
