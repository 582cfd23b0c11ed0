// The control's window-system widget, for a host that places the control in its own windows.
// A Qt host links libaxlumora_qt, calls form::RegisterQtFormBackend() once its QApplication exists
// and before it creates the control, then asks the control for IFormWidget: GetWidget writes the
// control's QWidget* and S_OK, or null and S_FALSE when the control is headless.
#pragma once

#include "axlumora/Unknown.h"

constexpr IID IID_IFormWidget{
    0x7A3C51E2, 0x4B9D, 0x4F06, {0x9E, 0x21, 0x5C, 0x8B, 0x0D, 0x36, 0xA1, 0x47}};
struct IFormWidget : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetWidget(void** ppWidget) = 0;

protected:
    ~IFormWidget() = default;
};

namespace form {
// In libaxlumora_qt: makes Qt the backend of the forms created from now on.
void RegisterQtFormBackend();
}  // namespace form
