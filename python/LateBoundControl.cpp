#include "LateBoundControl.h"

#include <cstdio>
#include <limits>
#include <vector>

#include "ControlLibrary.h"
#include "VariantConversion.h"
#include "host/ValueFormat.h"
#include "platform/automation/ErrorInfo.h"

namespace axpy {

namespace {

// axlumora.Error; the module holds it as an attribute, and one extra reference keeps it for
// errors raised while the module itself is being torn down.
PyObject* errorType = nullptr;

// The description of a failed member: the exception record Invoke filled, else the thread's
// error information.
std::string TakeDescription(EXCEPINFO& exception) {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    BStr source = BStr::Attach(exception.bstrSource);
    BStr description = BStr::Attach(exception.bstrDescription);
    BStr help = BStr::Attach(exception.bstrHelpFile);
    exception = EXCEPINFO{};
    if (description.length()) return description.utf8();
    ComPtr<IErrorInfo> info;
    BStr fromThread;
    if (GetErrorInfo(0, info.put()) == S_OK && info &&
        SUCCEEDED(info->GetDescription(fromThread.put())))
        return fromThread.utf8();
    return {};
}

std::string Signature(const EntryInfo& entry) {
    std::string text = std::string(entry.member) + "(";
    for (int i = 0; i < entry.paramCount; ++i) {
        if (i) text += ", ";
        text += ParamText(entry.params[static_cast<std::size_t>(i)]);
    }
    text += ")";
    // By-reference parameters come back after Value, in a tuple.
    std::vector<std::string> results;
    if (entry.hasValue())
        results.push_back(std::string(VarTypeName(entry.valueVt)) + " " + entry.valueName);
    for (int i = 0; i < entry.paramCount; ++i) {
        const ParamInfo& param = entry.params[static_cast<std::size_t>(i)];
        if (param.byRef) results.push_back(std::string(VarTypeName(param.vt)) + " " + param.name);
    }
    if (results.size() == 1) text += " -> " + results[0];
    if (results.size() > 1) {
        text += " -> (";
        for (std::size_t i = 0; i < results.size(); ++i) text += (i ? ", " : "") + results[i];
        text += ")";
    }
    return text;
}

// Keeps a sink's count of calls in progress balanced, whatever leaves the scope.
struct CallScope {
    PythonEventSink& sink;
    explicit CallScope(PythonEventSink& s) : sink(s) { sink.BeginCall(); }
    ~CallScope() { sink.EndCall(); }
};

const EntryInfo& Entry(int index) { return kIaxLumoraEntries[static_cast<std::size_t>(index)]; }

}  // namespace

void SetErrorType(py::object type) { errorType = type.release().ptr(); }

void RaiseError(const std::string& member, HRESULT hr, std::string message) {
    if (message.empty()) message = host::HResultText(hr);
    const std::string text =
        member + ": " + host::FormatHResult(hr) + (message.empty() ? "" : " " + message);
    py::object error = py::reinterpret_borrow<py::object>(errorType)(text);
    error.attr("hresult") = static_cast<unsigned>(hr);
    error.attr("message") = message;
    error.attr("member") = member;
    PyErr_SetObject(errorType, error.ptr());
    throw py::error_already_set();
}

LateBoundControl::LateBoundControl() : control_(CreateControl()) {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    HRESULT hr = control_->QueryInterface(IID_IConnectionPointContainer, container.put_void());
    if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(DIID_IaxLumoraEvents, point.put());
    // The sink stays advised for the control's life: the destroy handler still reaches it
    // (OnDestroy) and then disconnects every sink itself.
    if (SUCCEEDED(hr)) hr = point->Advise(sink_.get(), &cookie);
    if (FAILED(hr)) {
        control_.reset();
        throw std::runtime_error("cannot connect to the control's events: " +
                                 host::FormatHResult(hr));
    }
}

LateBoundControl::~LateBoundControl() {
    try {
        Close();
    } catch (...) {
        // A destructor must not throw; an error at release has nowhere to go.
    }
}

void LateBoundControl::Close() {
    if (!control_) return;
    if (std::this_thread::get_id() != owner_) return;  // never release from a foreign thread
    {
        CallScope scope(*sink_);
        control_.reset();
    }
    if (auto pending = sink_->TakePending())
        pending->discard_as_unraisable("axlumora.Control.close");
    sink_->ClearHandlers();
    if (sink_->references() != 0)
        (void)sink_.release();  // the control kept the sink: it must outlive any later call into it
    else sink_ = std::make_unique<PythonEventSink>();
}

IDispatch* LateBoundControl::Usable() const {
    if (!control_) throw std::runtime_error("the control has been closed");
    if (std::this_thread::get_id() != owner_)
        throw std::runtime_error(
            "the control is apartment-threaded: call it from the thread that created it");
    return control_.get();
}

DISPID LateBoundControl::DispIdOf(const EntryInfo& entry) const {
    std::u16string wide = Utf8ToWide(entry.member);
    LPOLESTR names[] = {wide.data()};
    DISPID dispid = DISPID_UNKNOWN;
    const HRESULT hr = Usable()->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) RaiseError(entry.member, hr, {});
    return dispid;
}

py::object LateBoundControl::Invoke(const EntryInfo& entry, WORD flags, py::handle argsHandle) {
    IDispatch* control = Usable();
    const py::tuple args = py::reinterpret_borrow<py::tuple>(argsHandle);
    const std::size_t count = args.size();
    const bool put = flags == DISPATCH_PROPERTYPUT;
    if (count < static_cast<std::size_t>(entry.requiredParams()) ||
        count > static_cast<std::size_t>(entry.paramCount))
        throw py::type_error(Signature(entry) + " takes " +
                             (entry.requiredParams() == entry.paramCount
                                  ? std::to_string(entry.paramCount)
                                  : std::to_string(entry.requiredParams()) + " to " +
                                        std::to_string(entry.paramCount)) +
                             " arguments, got " + std::to_string(count));
    const DISPID dispid = DispIdOf(entry);

    // Arguments in reverse order; by-reference ones point at typed slots.
    CallResources resources;
    std::vector<Variant> variants(count);
    for (std::size_t i = 0; i < count; ++i) {
        const ParamInfo& param = entry.params[i];
        variants[count - 1 - i] = !put && param.byRef ? ToByRefVariant(args[i], param, resources)
                                                      : ToVariant(args[i], param, resources);
    }
    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS params{variants.data(), put ? &namedPut : nullptr, static_cast<UINT>(count),
                      put ? 1u : 0u};
    Variant result;
    EXCEPINFO exception{};
    UINT argErr = std::numeric_limits<UINT>::max();
    HRESULT hr;
    std::optional<py::error_already_set> pending;
    {
        CallScope scope(*sink_);
        hr = control->Invoke(dispid, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                             put ? nullptr : &result, &exception, &argErr);
        pending = sink_->TakePending();
    }
    if (hr == DISP_E_EXCEPTION) {
        const HRESULT code = exception.scode ? exception.scode : E_FAIL;
        RaiseError(entry.member, code, TakeDescription(exception));
    }
    TakeDescription(exception);  // frees anything left there
    if (FAILED(hr)) {
        std::string message = host::HResultText(hr);
        if (argErr < count && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW)) {
            const std::size_t index = put ? 0 : count - 1 - argErr;
            message += " (argument " + std::string(entry.params[index].name) + " = " +
                       py::repr(args[index]).cast<std::string>() + ")";
        }
        RaiseError(entry.member, hr, message);
    }
    if (pending) throw std::move(*pending);  // a handler's exception is the call's
    if (put) return py::none();

    py::object value = entry.hasValue() ? FromVariant(result) : py::none();
    py::list outputs;
    for (std::size_t i = 0; i < count; ++i)
        if (entry.params[i].byRef) outputs.append(FromVariant(variants[count - 1 - i]));
    if (outputs.empty()) return value;
    py::list all;
    if (entry.hasValue()) all.append(value);
    for (py::handle output : outputs) all.append(output);
    return py::tuple(all);
}

py::object LateBoundControl::GetAttribute(py::object self, const std::string& name) {
    if (const int get = FindEntryByName(name, EntryKind::PropertyGet); get >= 0)
        return Invoke(Entry(get), DISPATCH_PROPERTYGET, py::tuple());
    if (const int method = FindEntryByName(name, EntryKind::Method); method >= 0) {
        Usable();
        return py::cpp_function(
            [self, method](py::args args) {
                return self.cast<LateBoundControl&>().Call(method, std::move(args));
            },
            py::name(Entry(method).member), py::doc(Signature(Entry(method)).c_str()));
    }
    if (const EventInfo* event = FindEventByName(name)) return sink_->Handler(*event);
    if (FindEntryByName(name, EntryKind::PropertyPut) >= 0)
        throw py::attribute_error(name + " is write-only");
    throw py::attribute_error("axlumora.Control has no member '" + name + "'");
}

bool LateBoundControl::SetAttribute(const std::string& name, py::object value) {
    if (const int put = FindEntryByName(name, EntryKind::PropertyPut); put >= 0) {
        Invoke(Entry(put), DISPATCH_PROPERTYPUT, py::make_tuple(value));
        return true;
    }
    if (const EventInfo* event = FindEventByName(name)) {
        sink_->SetHandler(*event, std::move(value));
        return true;
    }
    if (FindEntryByName(name, EntryKind::PropertyGet) >= 0)
        throw py::attribute_error(name + " is read-only");
    if (FindEntryByName(name, EntryKind::Method) >= 0)
        throw py::attribute_error(name + " is a method, not a property");
    return false;
}

py::object LateBoundControl::Call(int entryIndex, py::args args) {
    return Invoke(Entry(entryIndex), DISPATCH_METHOD, args);
}

py::object LateBoundControl::Call(const char* member, py::args args) {
    const int method = FindEntryByName(member, EntryKind::Method);
    if (method < 0) throw py::attribute_error(std::string("no method ") + member);
    return Call(method, std::move(args));
}

py::object LateBoundControl::On(const std::string& name, py::object handler) {
    const EventInfo* event = FindEventByName(name);
    if (!event) throw py::value_error("unknown event '" + name + "'");
    Usable();
    return sink_->SetHandler(*event, std::move(handler));
}

}  // namespace axpy
