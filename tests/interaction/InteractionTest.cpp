// Mouse, keys, cursors and the control's life as a hosted form, driven by window messages.
#include <gtest/gtest.h>

#include "engine/Kernel.h"
#include "tests/control/ControlFixture.h"
#include "tests/control/RecordingSink.h"

namespace {

TEST(MouseTest, PressMoveReleaseReachTheHostWithTheirArguments) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    RecordingSink sink;
    Connection connection(control.get(), &sink);
    CapturedLog log;
    SendMessage(&c.Form, WM_MOUSEMOVE, MK_SHIFT, MAKELPARAM(120, 45));
    SendMessage(&c.Form, WM_RBUTTONDOWN, MK_RBUTTON | MK_CONTROL, MAKELPARAM(10, 20));
    SendMessage(&c.Form, WM_RBUTTONUP, 0, MAKELPARAM(11, 21));
    EXPECT_EQ(c.LabelMouseXY.caption, "120,45");
    std::vector<DISPID> ids;
    for (const auto& e : sink.events) ids.push_back(e.dispid);
    EXPECT_EQ(ids, (std::vector<DISPID>{DISPID_OnMouseEnter, DISPID_OnMouseMove, DISPID_OnMouseDown,
                                        DISPID_OnMouseUp}));
    EXPECT_EQ(sink.events[1].args, (std::vector<std::string>{"1", "120", "45"}));
    EXPECT_EQ(sink.events[2].args, (std::vector<std::string>{"1", "20", "10", "20"}));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"TaxLumora.MouseDown\r\n", "TaxLumora.MouseUp\r\n"}));
}

TEST(MouseTest, WithoutASinkTheLogAndLabelStillFollow) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    CapturedLog log;
    SendMessage(&c.Form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
    SendMessage(&c.Form, WM_MOUSEMOVE, 0, MAKELPARAM(7, 8));
    EXPECT_EQ(c.LabelMouseXY.caption, "7,8");
    EXPECT_FALSE(c.LabelMouseXY.Visible());
    ASSERT_EQ(log.lines().size(), 1u);
}

TEST(MouseTest, ClickingTheImageFiresOnClickLikeTheForm) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    RecordingSink sink;
    Connection connection(control.get(), &sink);
    SendMessage(&c.Form, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));  // on MainPaintBox
    SendMessage(&c.Form, WM_LBUTTONUP, 0, MAKELPARAM(50, 50));
    SendMessage(&c.Form, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(50, 50));
    std::vector<DISPID> ids;
    for (const auto& e : sink.events) ids.push_back(e.dispid);
    EXPECT_EQ(ids, (std::vector<DISPID>{DISPID_OnMouseDown, DISPID_OnMouseUp, DISPID_OnClick,
                                        DISPID_OnDblClick, DISPID_OnMouseDown}));
    EXPECT_EQ(sink.events.back().args[1], std::to_string(form::ssLeft | form::ssDouble));
}

TEST(KeyPressTest, TheHostCanChangeOrSuppressTheCharacter) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SendMessage(&c.Form, WM_CHAR, 'a', 0);  // no sink: processed as typed
    RecordingSink sink;
    Connection connection(control.get(), &sink);
    sink.onEvent = [&](DISPID) {};
    SendMessage(&c.Form, WM_CHAR, 'b', 0);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].dispid, DISPID_OnKeyPress);
    EXPECT_EQ(sink.events[0].args[0], "98");
    EXPECT_EQ(c.Form.processedKeys, "ab");
}

// A sink that writes 0 into OnKeyPress's Key.
class SuppressingSink final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (!(riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IaxLumoraEvents))
            return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        if (id == DISPID_OnKeyPress && params->cArgs == 1 &&
            params->rgvarg[0].vt == (VT_I2 | VT_BYREF)) {
            seen = *params->rgvarg[0].piVal;
            *params->rgvarg[0].piVal = 0;
        }
        return S_OK;
    }
    SHORT seen = -1;
};

TEST(KeyPressTest, ZeroSuppresses) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    SuppressingSink sink;
    Connection connection(control.get(), &sink);
    SendMessage(&c.Form, WM_CHAR, 'x', 0);
    EXPECT_EQ(sink.seen, 'x');
    EXPECT_EQ(c.Form.processedKeys, "");
}

TEST(CursorTest, RangeTableAndPaintBox) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    CapturedLog log;
    ASSERT_EQ(control->put_Cursor(8), S_OK);
    EXPECT_EQ(c.MainPaintBox->Cursor(), 8);
    EXPECT_EQ(CursorShapeOf(c.MainPaintBox->Cursor()).name, "MAGGLASS");
    EXPECT_EQ(CursorShapeOf(10).name, "crDefault");
    EXPECT_EQ(CursorShapeOf(13).name, "BRUSH03");
    EXPECT_EQ(CursorShapeOf(13).picture.size(), 32u);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"axLumora.CMCURSORCHANGED\r\n"}));
    c.Form.SetCursor(3);  // the form changed otherwise: the getter reads the paint box
    LONG value = 0;
    control->get_Cursor(&value);
    EXPECT_EQ(value, 8);
    EXPECT_EQ(control->put_Cursor(40000), E_UNEXPECTED);
    EXPECT_EQ(c.MainPaintBox->Cursor(), 8);
    control->put_Cursor(12);
    control->get_Cursor(&value);
    EXPECT_EQ(value, 12);
}

TEST(LifecycleTest, DefaultsAndDestroyOrder) {
    auto control = NewControl();
    TaxLumora& c = Impl(control);
    EXPECT_EQ(c.Form.ClientWidth(), 651);
    EXPECT_EQ(c.MainPaintBox->Width(), 651);
    EXPECT_EQ(c.LabelMouseXY.caption, "0,0");
    EXPECT_TRUE(c.Form.VertScrollBar().visible);
    control->put_AutoScrollbars(0);
    EXPECT_FALSE(c.Form.HorzScrollBar().visible);
    L_CreateBitmap(&c.CurrentBitmap, BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 4, 4, 8, ORDER_GRAY,
                   nullptr, TOP_LEFT, nullptr, 0);
    RecordingSink sink;
    Connection connection(control.get(), &sink);
    bool imageFreedFirst = false, boxFreedFirst = false;
    sink.onEvent = [&](DISPID id) {
        if (id != DISPID_OnDestroy) return;
        imageFreedFirst = !c.ImagePresent();
        boxFreedFirst = !c.MainPaintBox;
    };
    CapturedLog log;
    SendMessage(&c.Form, WM_DESTROY, 0, 0);
    EXPECT_TRUE(imageFreedFirst);
    EXPECT_TRUE(boxFreedFirst);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"TaxLumora.Destroy, Start\r\n",
                                                     "TaxLumora.Destroy, End\r\n"}));
}

TEST(FormPropertiesTest, ColorCaptionAndFont) {
    auto control = NewControl();
    OLE_COLOR color = 0;
    control->get_Color(&color);
    EXPECT_EQ(color, kSystemColorFlag | COLOR_ACTIVECAPTION);
    control->put_BackColor(0x123456);
    control->get_Color(&color);
    EXPECT_EQ(color, 0x123456u);
    BStr caption;
    control->get_Caption(caption.put());
    EXPECT_EQ(caption.utf8(), "axLumora");
    ComPtr<IFontDisp> font;
    ASSERT_EQ(control->get_Font(font.put()), S_OK);
    Variant name;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(font->Invoke(0, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &name, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(BstrToUtf8(name.bstrVal), "Tahoma");
    Variant size;
    font->Invoke(2, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &size, nullptr, nullptr);
    EXPECT_EQ(size.lVal, 8);  // height -11 at 96 dpi
    ASSERT_EQ(control->put_Font(font.get()), S_OK);
    EXPECT_EQ(Impl(control).Form.font.height, -11);
    EXPECT_EQ(control->put_PixelsPerInch(0), E_UNEXPECTED);
}

}  // namespace
