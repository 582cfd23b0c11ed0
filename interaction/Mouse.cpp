// Mouse activity goes to the host as events; the control edits nothing itself. The label keeps
// the last position as text.
#include "control/cvaxLumoraMain.h"

namespace {

// Event arguments are handed in reverse order (the last argument first).
void FireButtonEvent(TaxLumora& control, DISPID dispid, form::MouseButton button,
                     std::uint8_t shift, int x, int y) {
    Variant args[4] = {Variant::I4(y), Variant::I4(x), Variant::I4(shift),
                       Variant::I4(static_cast<LONG>(button))};
    control.FireEvent(dispid, args, 4);
}

}  // namespace

void TaxLumora::MouseDown(form::MouseButton button, std::uint8_t shift, int x, int y) {
    WriteLog("TaxLumora.MouseDown");
    if (EventSink) FireButtonEvent(*this, DISPID_OnMouseDown, button, shift, x, y);
}

void TaxLumora::MouseUp(form::MouseButton button, std::uint8_t shift, int x, int y) {
    WriteLog("TaxLumora.MouseUp");
    if (EventSink) FireButtonEvent(*this, DISPID_OnMouseUp, button, shift, x, y);
}

void TaxLumora::MouseMove(std::uint8_t shift, int x, int y) {
    LabelMouseXY.caption = std::to_string(x) + "," + std::to_string(y);
    if (!EventSink) return;
    Variant args[3] = {Variant::I4(y), Variant::I4(x), Variant::I4(shift)};
    FireEvent(DISPID_OnMouseMove, args, 3);
}

HRESULT TaxLumora::get_Cursor(LONG* Value) {
    return SafeCall([&] { *Value = MainPaintBox ? MainPaintBox->Cursor() : Form.Cursor(); });
}

HRESULT TaxLumora::put_Cursor(LONG Value) {
    return SafeCall([&] {
        const auto cursor = Checked<SHORT>(Value);
        Form.SetCursor(cursor);
        if (MainPaintBox) MainPaintBox->SetCursor(cursor);
    });
}
