// Automation properties that forward to the form, and the font object that mirrors its font.
#include "control/cvaxLumoraMain.h"

namespace {

// Standard font object properties (the stock font's dispatch identifiers).
constexpr DISPID kFontName = 0, kFontSize = 2, kFontBold = 3, kFontItalic = 4, kFontUnderline = 5,
                 kFontStrikethrough = 6, kFontWeight = 7, kFontCharset = 8;

// A font object over the control's form font: reading gives the form's current attributes,
// writing changes them. It keeps the control alive while a host holds it.
class FormFont final : public IFontDisp {
public:
    explicit FormFont(TaxLumora& control) : control_(control), hold_(&control) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!(riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IFontDisp))
            return E_NOINTERFACE;
        *ppv = static_cast<IFontDisp*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG remaining = --refs_;
        if (remaining == 0) std::unique_ptr<FormFont> self(this);
        return remaining;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        form::FontAttributes& font = control_.Form.font;
        if (flags & DISPATCH_PROPERTYGET) {
            if (!result) return E_POINTER;
            Variant value;
            switch (id) {
                case kFontName: value = Variant::String(font.name); break;
                case kFontSize: value = Variant::I4(font.Size()); break;
                case kFontBold: value = Variant::Bool(font.bold); break;
                case kFontItalic: value = Variant::Bool(font.italic); break;
                case kFontUnderline: value = Variant::Bool(font.underline); break;
                case kFontStrikethrough: value = Variant::Bool(font.strikeout); break;
                case kFontWeight: value = Variant::I2(font.bold ? 700 : 400); break;
                case kFontCharset: value = Variant::I2(static_cast<SHORT>(font.charset)); break;
                default: return DISP_E_MEMBERNOTFOUND;
            }
            *result = value.detach();
            return S_OK;
        }
        if (!(flags & DISPATCH_PROPERTYPUT) || !params || params->cArgs != 1)
            return DISP_E_BADPARAMCOUNT;
        const VARIANT& arg = params->rgvarg[0];
        Variant converted;
        const VARTYPE wanted = id == kFontName ? VT_BSTR
                               : (id == kFontSize || id == kFontWeight || id == kFontCharset)
                                   ? VT_I4
                                   : VT_BOOL;
        if (FAILED(VariantChangeType(&converted, &arg, 0, wanted))) return DISP_E_TYPEMISMATCH;
        switch (id) {
            case kFontName: font.name = BstrToUtf8(converted.bstrVal); break;
            case kFontSize: font.SetSize(converted.lVal); break;
            case kFontBold: font.bold = converted.boolVal != 0; break;
            case kFontItalic: font.italic = converted.boolVal != 0; break;
            case kFontUnderline: font.underline = converted.boolVal != 0; break;
            case kFontStrikethrough: font.strikeout = converted.boolVal != 0; break;
            case kFontWeight: font.bold = converted.lVal >= 600; break;
            case kFontCharset: font.charset = converted.lVal; break;
            default: return DISP_E_MEMBERNOTFOUND;
        }
        return S_OK;
    }

private:
    TaxLumora& control_;
    ComPtr<IaxLumora> hold_;
    std::atomic<ULONG> refs_{1};
};

// Reads one property of a font object; false when it has none.
bool GetFontProperty(IDispatch* font, DISPID id, VARTYPE type, Variant* value) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant raw;
    if (FAILED(font->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &raw,
                            nullptr, nullptr)))
        return false;
    return SUCCEEDED(VariantChangeType(value, &raw, 0, type));
}

void CopyFont(form::FontAttributes& to, IFontDisp* from) {
    if (!from) throw ComError(E_POINTER, "No font object");
    Variant v;
    if (GetFontProperty(from, kFontName, VT_BSTR, &v)) to.name = BstrToUtf8(v.bstrVal);
    if (GetFontProperty(from, kFontSize, VT_I4, &v)) to.SetSize(v.lVal);
    if (GetFontProperty(from, kFontBold, VT_BOOL, &v)) to.bold = v.boolVal != 0;
    if (GetFontProperty(from, kFontItalic, VT_BOOL, &v)) to.italic = v.boolVal != 0;
    if (GetFontProperty(from, kFontUnderline, VT_BOOL, &v)) to.underline = v.boolVal != 0;
    if (GetFontProperty(from, kFontStrikethrough, VT_BOOL, &v)) to.strikeout = v.boolVal != 0;
    if (GetFontProperty(from, kFontCharset, VT_I4, &v)) to.charset = v.lVal;
}

}  // namespace

HRESULT TaxLumora::get_Font(IFontDisp** Value) {
    return SafeCall([&] { *Value = new FormFont(*this); });
}
HRESULT TaxLumora::put_Font(IFontDisp* Value) {
    return SafeCall([&] { CopyFont(Form.font, Value); });
}
HRESULT TaxLumora::putref_Font(IFontDisp* Value) {
    return SafeCall([&] { CopyFont(Form.font, Value); });
}

HRESULT TaxLumora::get_Visible(VARIANT_BOOL* Value) {
    return SafeCall([&] { *Value = ToVariantBool(Form.Visible()); });
}
HRESULT TaxLumora::put_Visible(VARIANT_BOOL Value) {
    return SafeCall([&] { Form.SetVisible(FromVariantBool(Value)); });
}

HRESULT TaxLumora::get_Caption(BSTR* Value) {
    return SafeCall([&] {
        *Value = nullptr;
        *Value = Utf8ToBstr(Form.caption);
    });
}
HRESULT TaxLumora::put_Caption(BSTR Value) {
    return SafeCall([&] { Form.caption = BstrToUtf8(Value); });
}
HRESULT TaxLumora::get_HelpFile(BSTR* Value) {
    return SafeCall([&] {
        *Value = nullptr;
        *Value = Utf8ToBstr(Form.helpFile);
    });
}
HRESULT TaxLumora::put_HelpFile(BSTR Value) {
    return SafeCall([&] { Form.helpFile = BstrToUtf8(Value); });
}

HRESULT TaxLumora::get_Color(OLE_COLOR* Value) {
    return SafeCall([&] { *Value = Form.color; });
}
HRESULT TaxLumora::put_Color(OLE_COLOR Value) {
    return SafeCall([&] { Form.color = Value; });
}

HRESULT TaxLumora::get_PixelsPerInch(LONG* Value) {
    return SafeCall([&] { *Value = Form.pixelsPerInch; });
}
HRESULT TaxLumora::put_PixelsPerInch(LONG Value) {
    return SafeCall([&] {
        if (Value <= 0) throw std::invalid_argument("Invalid property value");
        Form.pixelsPerInch = Value;
        Form.font.pixelsPerInch = Value;
    });
}

#define AX_FORM_BOOL(Name, field)                                      \
    HRESULT TaxLumora::get_##Name(VARIANT_BOOL* Value) {               \
        return SafeCall([&] { *Value = ToVariantBool(Form.field); });  \
    }                                                                  \
    HRESULT TaxLumora::put_##Name(VARIANT_BOOL Value) {                \
        return SafeCall([&] { Form.field = FromVariantBool(Value); }); \
    }
#define AX_FORM_VALUE(Name, Type, field)                                         \
    HRESULT TaxLumora::get_##Name(Type* Value) {                                 \
        return SafeCall([&] { *Value = static_cast<Type>(Form.field); });        \
    }                                                                            \
    HRESULT TaxLumora::put_##Name(Type Value) {                                  \
        return SafeCall([&] { Form.field = static_cast<std::int32_t>(Value); }); \
    }
#define AX_FORM_GET(Name, Type, expression)            \
    HRESULT TaxLumora::get_##Name(Type* Value) {       \
        return SafeCall([&] { *Value = expression; }); \
    }

AX_FORM_BOOL(AutoScroll, autoScroll)
AX_FORM_BOOL(AutoSize, autoSize)
AX_FORM_BOOL(Scaled, scaled)
AX_FORM_BOOL(DockSite, dockSite)
AX_FORM_BOOL(UseDockManager, useDockManager)
AX_FORM_BOOL(Enabled, enabled)
AX_FORM_BOOL(AlignWithMargins, alignWithMargins)
AX_FORM_BOOL(KeyPreview, keyPreview)
AX_FORM_BOOL(ScreenSnap, screenSnap)
AX_FORM_BOOL(DoubleBuffered, doubleBuffered)
AX_FORM_BOOL(DropTarget, dropTarget)
AX_FORM_VALUE(AxBorderStyle, TxActiveFormBorderStyle, borderStyle)
AX_FORM_VALUE(PopupMode, TxPopupMode, popupMode)
AX_FORM_VALUE(PrintScale, TxPrintScale, printScale)
AX_FORM_VALUE(SnapBuffer, LONG, snapBuffer)
AX_FORM_GET(Active, VARIANT_BOOL, ToVariantBool(Form.active))
AX_FORM_GET(AlignDisabled, VARIANT_BOOL, ToVariantBool(Form.alignDisabled))
AX_FORM_GET(MouseInClient, VARIANT_BOOL, ToVariantBool(Form.mouseInClient))
AX_FORM_GET(VisibleDockClientCount, LONG, Form.visibleDockClientCount)
AX_FORM_GET(ExplicitLeft, LONG, Form.explicitLeft)
AX_FORM_GET(ExplicitTop, LONG, Form.explicitTop)
AX_FORM_GET(ExplicitWidth, LONG, Form.explicitWidth)
AX_FORM_GET(ExplicitHeight, LONG, Form.explicitHeight)
#undef AX_FORM_BOOL
#undef AX_FORM_VALUE
#undef AX_FORM_GET
