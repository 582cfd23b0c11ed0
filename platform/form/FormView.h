// Backends of the form layer. The form (Form.h) keeps the state a window has: client size,
// scroll bars, colour, font, caption, cursor and the paint buffers. A view presents that state
// in a real window system and feeds the user's input back as window messages, so everything a
// control hooks into runs exactly as it does headless. Headless means no view at all.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "axlumora/FormWidget.h"
#include "platform/automation/Unknown.h"

namespace form {

class Form;

// What changed on a form, for its view.
enum class FormChange {
    Paint,   // the form or a child needs painting
    Layout,  // client size, a scroll range, position or visibility
    Cursor,  // the cursor of the form or a child
};

class FormView {
public:
    virtual ~FormView() = default;
    virtual void FormChanged(FormChange change) = 0;
    // The window system's object for the form (a QWidget* for the Qt backend).
    virtual void* NativeWidget() = 0;
};

// Makes a view for a new form; returns none when the backend cannot serve (no application
// object, no display): the form then stays headless.
using FormViewFactory = std::function<std::unique_ptr<FormView>(Form&)>;

// A backend library registers itself under a name when it is loaded.
void RegisterFormBackend(const std::string& name, FormViewFactory factory);
// The backend that forms created from now on get: "headless" (the default) or a registered
// name. $AXLUMORA_FORM_BACKEND names it for hosts that cannot call this. Returns false (and
// changes nothing) for a name that is neither.
bool SelectFormBackend(const std::string& name);
std::string SelectedFormBackend();
// A view of the selected backend for `form`, or none for headless.
std::unique_ptr<FormView> CreateFormView(Form& form);

}  // namespace form
