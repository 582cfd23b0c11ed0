// TaxLumora: the control. One object implements IaxLumora directly (every automation member is
// one method, defined in the folder of its subsystem), is the connection-point container for
// IaxLumoraEvents, and owns the current bitmap.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "axlumora/cvaxLumora_TLB.h"
#include "control/CallFrame.h"
#include "control/Log.h"
#include "engine/Bitmap.h"
#include "engine/File.h"
#include "platform/automation/ConnectionPoint.h"
#include "platform/automation/ErrorInfo.h"
#include "platform/form/Form.h"

// A rectangle kept as edges; widths and heights are derived.
struct EdgeRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
};

class TaxLumora final : public IaxLumora,
                        public IConnectionPointContainer,
                        public ISupportErrorInfo,
                        public IOleWindow,
                        public IFormWidget {
public:
    // Creates a control and runs Initialize; the caller owns the one reference returned.
    static HRESULT Create(REFIID riid, void** ppv);

    // ---- IUnknown / IDispatch ----
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                            LCID lcid, DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // ---- IConnectionPointContainer ----
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // ---- ISupportErrorInfo ----
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    // ---- IOleWindow: the form, so a container can send it messages ----
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL fEnterMode) override;

    // ---- IFormWidget: the form's widget under a window-system backend ----
    HRESULT STDMETHODCALLTYPE GetWidget(void** ppWidget) override;

    // ---- IaxLumora: every entry point ----
#define P(type, vt, name) type name
#define PREF(type, vt, name) type* name
#define POPT(type, vt, name, dflt) type name
#define AX_PROP(dispid, Name, Type, vt)                         \
    HRESULT STDMETHODCALLTYPE get_##Name(Type* Value) override; \
    HRESULT STDMETHODCALLTYPE put_##Name(Type Value) override;
#define AX_PROP_GET(dispid, Name, Type, vt) \
    HRESULT STDMETHODCALLTYPE get_##Name(Type* Value) override;
#define AX_PROP_FONT(dispid)                                        \
    HRESULT STDMETHODCALLTYPE get_Font(IFontDisp** Value) override; \
    HRESULT STDMETHODCALLTYPE put_Font(IFontDisp* Value) override;  \
    HRESULT STDMETHODCALLTYPE putref_Font(IFontDisp* Value) override;
#define AX_METHOD(dispid, Name, ValueType, valueVt, ...) \
    HRESULT STDMETHODCALLTYPE Name(__VA_ARGS__ __VA_OPT__(, ) ValueType* RetVal) override;
#define AX_METHOD_NOVALUE(dispid, Name, ...) HRESULT STDMETHODCALLTYPE Name(__VA_ARGS__) override;
#include "axlumora/IaxLumoraEntries.inc"
#include "axlumora/IaxLumoraEntriesEnd.inc"

    // ---- internal steps shared by members ----
    // After-change steps (display geometry and painting).
    void UpdatePaintRects(bool updateScrollRanges, bool fitControl, bool resetRects);
    void RefreshPaintPalette(bool background);
    // After the image was replaced or resized: the rectangles with all three switches on, then
    // the palette in foreground mode.
    void ImageReplaced() {
        UpdatePaintRects(true, true, true);
        RefreshPaintPalette(false);
    }
    // True when the current bitmap holds an image.
    bool ImagePresent() const { return CurrentBitmap.Addr != nullptr; }

    // Events: each fires only while EventSink is set. An error from the host's handler is
    // raised into the firing member as a ComError.
    void FireEvent(DISPID dispid, VARIANT* argsReversed = nullptr, UINT argCount = 0);
    void FireOnLog(std::string_view text);

    // Keeps EventSink current: the sink queried for IaxLumoraEvents, or none.
    void UpdateEventSink(IUnknown* sink);

    // The control's own bitmap handle key (what the Bitmap property hands out).
    std::uint32_t CurrentBitmapKey() const { return currentBitmapKey_; }

    // Hosting, display and interaction (control/Hosting.cpp, display/, interaction/).
    void ControlWindowProc(Message& message);
    void UpdateViewRects();
    void PaintImage(form::PaintBox& box);
    void PaintMessage();
    bool RealizePaintPalette(bool background);  // RefreshPaintPalette's answer
    void RequestRepaint();
    void SetParent(form::Control* parent);
    void MouseDown(form::MouseButton button, std::uint8_t shift, int x, int y);
    void MouseUp(form::MouseButton button, std::uint8_t shift, int x, int y);
    void MouseMove(std::uint8_t shift, int x, int y);

    // ---- state (defaults set in Initialize) ----
    ComPtr<IDispatch> EventSink;
    BITMAPHANDLE CurrentBitmap{};
    void* PaintPalette = nullptr;  // none: a 32-bit display needs no palette
    EdgeRect SrcRect;
    EdgeRect SrcClipRect;
    EdgeRect DstRect;
    EdgeRect DstClipRect;
    bool BackErase = true;
    std::int32_t PaintSizeMode = PAINTSIZEMODE_NORMAL;
    bool AutoRepaint = false;
    bool AutoScrollbars = true;
    bool AutoSetRects = true;
    // The form the control is, its label, its paint box and the window procedure it hooked.
    form::Form Form;
    form::Label LabelMouseXY;
    std::unique_ptr<form::PaintBox> MainPaintBox;
    form::Control::WindowProc PrevWindowProc;
    // Load state: the last loaded file name and the last file information.
    std::u16string LastFileName;
    TaxLumora_FileInfoPacked LastFileInfo{};
    // The load options Load hands to the file loader (io/), all zero from creation.
    LOADFILEOPTION LoadOptions{};

    // Objects are created through Create only; the key keeps the constructor out of reach.
    struct CreateKey {
    private:
        friend class TaxLumora;
        CreateKey() = default;
    };
    explicit TaxLumora(CreateKey);
    ~TaxLumora();

private:
    void Initialize();
    void Destroy();
    void BuildForm();  // the form from its resource, its events wired
    void HookWindowProc();
    void CreatePaintBox();  // scroll bars, MainPaintBox and its events

    std::atomic<ULONG> refCount_{0};
    std::unique_ptr<ConnectionPoint> eventsPoint_;
    std::uint32_t currentBitmapKey_ = 0;
    bool destroyed_ = false;
};

// Objects alive in this module (controls and factories), for DllCanUnloadNow.
void ModuleAddRef();
void ModuleRelease();
long ModuleObjectCount();
