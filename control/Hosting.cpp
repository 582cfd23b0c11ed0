// The control as a hosted form: the form built from its resource, the hooked window procedure,
// the paint box, the events fired for form activity and the container's window interface.
#include "control/cvaxLumoraMain.h"

namespace {

// Form resource of the control.
constexpr int kFormWidth = 651, kFormHeight = 338;

}  // namespace

void TaxLumora::BuildForm() {
    Form.name = "axLumora";
    Form.caption = "axLumora";
    Form.SetBounds(0, 0, kFormWidth, kFormHeight);
    Form.color = kSystemColorFlag | COLOR_ACTIVECAPTION;
    Form.font = form::FontAttributes{};
    Form.pixelsPerInch = 96;
    LabelMouseXY.name = "LabelMouseXY";
    LabelMouseXY.SetBounds(19, 10, 16, 13);
    LabelMouseXY.caption = "0,0";
    LabelMouseXY.SetVisible(false);
    LabelMouseXY.SetParent(&Form);

    Form.onActivate = [this](bool active) {
        FireEvent(active ? DISPID_OnActivate : DISPID_OnDeactivate);
    };
    Form.onClick = [this] { FireEvent(DISPID_OnClick); };
    Form.onCreate = [this] { FireEvent(DISPID_OnCreate); };
    Form.onDblClick = [this] { FireEvent(DISPID_OnDblClick); };
    Form.onKeyPress = [this](char& key) {
        if (!EventSink) return;
        SHORT value = static_cast<unsigned char>(key);
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_I2 | VT_BYREF;
        arg.piVal = &value;
        FireEvent(DISPID_OnKeyPress, &arg, 1);
        key = static_cast<char>(value & 0xFF);
    };
    Form.onMouseEnter = [this] { FireEvent(DISPID_OnMouseEnter); };
    Form.onMouseLeave = [this] { FireEvent(DISPID_OnMouseLeave); };
    Form.onPaint = [this] { FireEvent(DISPID_OnPaint); };
    Form.onDestroy = [this] {
        if (!destroyed_) Destroy();
    };
    Form.onMouseDown = [this](form::MouseButton b, std::uint8_t s, int x, int y) {
        MouseDown(b, s, x, y);
    };
    Form.onMouseUp = [this](form::MouseButton b, std::uint8_t s, int x, int y) {
        MouseUp(b, s, x, y);
    };
    Form.onMouseMove = [this](std::uint8_t s, int x, int y) { MouseMove(s, x, y); };
    Form.onResize = [this] { UpdateViewRects(); };
}

void TaxLumora::HookWindowProc() {
    PrevWindowProc = Form.windowProc;
    Form.windowProc = [this](Message& message) { ControlWindowProc(message); };
}

void TaxLumora::CreatePaintBox() {
    Form.SetScrollVisible(false, AutoScrollbars);
    Form.SetScrollVisible(true, AutoScrollbars);
    MainPaintBox = std::make_unique<form::PaintBox>();
    MainPaintBox->name = "MainPaintBox";
    MainPaintBox->align = form::Align::Client;
    MainPaintBox->SetParent(&Form);
    MainPaintBox->SetVisible(true);
    MainPaintBox->BringToFront();
    MainPaintBox->onPaintBuffer = [this](form::PaintBox& box) { PaintImage(box); };
    MainPaintBox->onMouseDown = Form.onMouseDown;
    MainPaintBox->onMouseUp = Form.onMouseUp;
    MainPaintBox->onMouseMove = Form.onMouseMove;
    MainPaintBox->onClick = Form.onClick;
    MainPaintBox->onDblClick = Form.onDblClick;
    MainPaintBox->opaque = true;
}

void TaxLumora::ControlWindowProc(Message& message) {
    try {
        if (message.msg == CM_CURSORCHANGED) {
            // Handled here in place of the form library's own handling.
            WriteLog("axLumora.CMCURSORCHANGED");
            return;
        }
        PrevWindowProc(message);
        switch (message.msg) {
            case WM_HSCROLL:
            case WM_VSCROLL:
            case WM_MOUSEWHEEL:
                UpdatePaintRects(true, false, true);
                RequestRepaint();
                break;
            case WM_PAINT: PaintMessage(); break;
            case WM_QUERYNEWPALETTE: message.result = RealizePaintPalette(false) ? 1 : 0; break;
            default: break;
        }
    } catch (const std::exception& e) {
        // A host's event handler failed inside a window message: there is no member to report
        // it to, so it ends here as a desktop message loop would end it.
        WriteLog(std::string("TaxLumora.WindowProc, ") + e.what());
    }
}

void TaxLumora::SetParent(form::Control* parent) {
    WriteLog("axLumora.SetParent");
    Form.SetParent(parent);
}

HRESULT TaxLumora::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = &Form;
    return S_OK;
}

HRESULT TaxLumora::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT TaxLumora::GetWidget(void** ppWidget) {
    if (!ppWidget) return E_POINTER;
    form::FormView* view = Form.View();
    *ppWidget = view ? view->NativeWidget() : nullptr;
    return *ppWidget ? S_OK : S_FALSE;
}
