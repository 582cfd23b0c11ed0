#include "host/ScriptRunner.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <set>

#include "control/RecordFields.h"
#include "host/ByRefArgument.h"
#include "host/MemberReference.h"
#include "host/ValueFormat.h"
#include "platform/automation/RecordInfo.h"

namespace host {

namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return member_table_detail::EqualsIgnoreCase(a, b);
}

// ---- messages about members ------------------------------------------------------------------

std::string ParamNames(const EntryInfo& e) {
    std::string text;
    for (int i = 0; i < e.paramCount; ++i) {
        if (i) text += ", ";
        text += ParamText(e.params[static_cast<std::size_t>(i)]);
    }
    return text;
}

std::string CountText(int n) { return n == 1 ? "1 argument" : std::to_string(n) + " arguments"; }

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string UnknownMemberMessage(const std::string& name) {
    std::string message = "unknown member '" + name + "'";
    const char* best = nullptr;
    std::size_t bestDistance = 3;  // only near misses are worth suggesting
    for (const EntryInfo& e : kIaxLumoraEntries) {
        const std::size_t d = EditDistance(name, e.member);
        if (d < bestDistance) {
            bestDistance = d;
            best = e.member;
        }
    }
    if (best) message += " (did you mean " + std::string(best) + "?)";
    return message;
}

const EntryInfo& Entry(int index) { return kIaxLumoraEntries[static_cast<std::size_t>(index)]; }

// ---- literals to variants --------------------------------------------------------------------

ComPtr<IRecordInfo> RectRecordInfo() {
    ComPtr<IRecordInfo> info;
    RecordInfo::Create(u"TaxLumora_Rect", GUID_TaxLumora_Rect, sizeof(TaxLumora_Rect), kRectFields,
                       info.put());
    return info;
}

class VariantBuilder {
public:
    VariantBuilder(const std::map<std::string, std::vector<std::uint8_t>>& buffers, int line)
        : buffers_(buffers), line_(line) {}

    // The natural variant of a literal: VT_I4 for integers that fit, VT_I8 / VT_UI8 beyond,
    // VT_R8, VT_BSTR, VT_BOOL, VT_UI8 for a buffer's address, VT_RECORD.
    Variant Make(const Literal& lit) const {
        switch (lit.kind) {
            case Literal::Kind::Integer: {
                if (auto v = lit.AsInt64()) {
                    if (*v >= std::numeric_limits<LONG>::min() &&
                        *v <= std::numeric_limits<LONG>::max())
                        return Variant::I4(static_cast<LONG>(*v));
                    return Variant::I8(*v);
                }
                return Variant::UI8(lit.magnitude);
            }
            case Literal::Kind::Float: return Variant::R8(lit.real);
            case Literal::Kind::String: return Variant::String(lit.text);
            case Literal::Kind::Boolean: return Variant::Bool(lit.boolean);
            case Literal::Kind::BufferAddress: {
                const auto it = buffers_.find(lit.text);
                if (it == buffers_.end())
                    throw ScriptError(line_, "unknown buffer '" + lit.text + "'");
                return Variant::UI8(reinterpret_cast<std::uintptr_t>(it->second.data()));
            }
            case Literal::Kind::BufferArray: return MakeByteArray(lit);
            case Literal::Kind::Record: return MakeRect(lit);
        }
        return Variant();
    }

private:
    // A copy of the buffer: the control may keep or resize the array it is given.
    Variant MakeByteArray(const Literal& lit) const {
        const auto it = buffers_.find(lit.text);
        if (it == buffers_.end()) throw ScriptError(line_, "unknown buffer '" + lit.text + "'");
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(it->second.size()));
        if (!array) throw ScriptError(line_, "out of memory for the array of buffer " + lit.text);
        Variant out;
        out.vt = VT_ARRAY | VT_UI1;
        out.parray = array;
        if (!it->second.empty()) {
            SafeArrayAccess access(array);
            if (!access.ok())
                throw ScriptError(line_, "cannot fill the array of buffer " + lit.text);
            std::memcpy(access.data(), it->second.data(), it->second.size());
        }
        return out;
    }

    Variant MakeRect(const Literal& lit) const {
        ComPtr<IRecordInfo> info = RectRecordInfo();
        if (!info) throw ScriptError(line_, "cannot describe the record type");
        TaxLumora_Rect rect{};
        for (const auto& [name, value] : lit.fields) {
            const RecordField* field = nullptr;
            for (const RecordField& f : kRectFields)
                if (EqualsIgnoreCase(WideToUtf8(f.name), name)) field = &f;
            if (!field)
                throw ScriptError(line_, "TaxLumora_Rect has no field '" + name +
                                             "' (fields: Left, Top, Right, Bottom, bEmpty)");
            Variant v = Make(value);
            const std::u16string canonical(field->name);
            if (FAILED(info->PutField(0, &rect, canonical.c_str(), &v)))
                throw ScriptError(line_, "value " + value.spelling + " does not fit field " + name);
        }
        Variant out;
        if (FAILED(VariantFromRecord(info.get(), &rect, &out)))
            throw ScriptError(line_, "cannot build the record " + lit.spelling);
        return out;
    }

    const std::map<std::string, std::vector<std::uint8_t>>& buffers_;
    int line_;
};

bool IsScalarByRefType(VARTYPE vt) {
    switch (vt) {
        case VT_I2:
        case VT_I4:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_BOOL:
        case VT_UI1: return true;
        default: return false;
    }
}

// Frees what Invoke left in an EXCEPINFO and returns its description.
std::string TakeException(EXCEPINFO& ex) {
    if (ex.pfnDeferredFillIn) ex.pfnDeferredFillIn(&ex);
    BStr source = BStr::Attach(ex.bstrSource);
    BStr description = BStr::Attach(ex.bstrDescription);
    BStr help = BStr::Attach(ex.bstrHelpFile);
    ex = EXCEPINFO{};
    return description.utf8();
}

}  // namespace

// ---- binding and checks ------------------------------------------------------------------------

const EntryInfo& ResolveEntry(const Statement& st) {
    const int method = FindEntryByName(st.member, EntryKind::Method);
    const int get = FindEntryByName(st.member, EntryKind::PropertyGet);
    const int put = FindEntryByName(st.member, EntryKind::PropertyPut);
    if (method < 0 && get < 0 && put < 0)
        throw ScriptError(st.line, UnknownMemberMessage(st.member));

    if (st.kind == Statement::Kind::PropertyPut) {
        if (put >= 0) return Entry(put);
        if (get >= 0) throw ScriptError(st.line, std::string(Entry(get).member) + " is read-only");
        throw ScriptError(st.line, std::string(Entry(method).member) +
                                       " is a method: call it as '" + Entry(method).member +
                                       " arg…', not with '='");
    }
    if (method >= 0) {
        const EntryInfo& e = Entry(method);
        const int given = static_cast<int>(st.args.size());
        if (given < e.requiredParams() || given > e.paramCount) {
            std::string expected;
            if (e.paramCount == 0) expected = "no arguments";
            else if (e.requiredParams() == e.paramCount) expected = CountText(e.paramCount);
            else expected = std::to_string(e.requiredParams()) + " to " + CountText(e.paramCount);
            throw ScriptError(st.line, std::string(e.member) + " takes " + expected +
                                           (e.paramCount ? " (" + ParamNames(e) + ")" : "") +
                                           ", got " + std::to_string(given));
        }
        for (int i = 0; i < given; ++i) {
            const ParamInfo& p = e.params[static_cast<std::size_t>(i)];
            const bool recordParam = (p.vt & VT_TYPEMASK) == VT_RECORD;
            const bool recordArg =
                st.args[static_cast<std::size_t>(i)].kind == Literal::Kind::Record;
            if (recordParam != recordArg)
                throw ScriptError(st.line, std::string(e.member) + ": " + p.name +
                                               (recordParam ? " takes a record {Left=…, Top=…, …}"
                                                            : " does not take a record"));
            if (p.byRef && !IsScalarByRefType(VARTYPE(p.vt & ~VT_BYREF)))
                throw ScriptError(st.line, std::string(e.member) + ": by-reference " + p.name +
                                               " of this type is not supported by the host");
        }
        return e;
    }
    if (get >= 0) {
        if (!st.args.empty())
            throw ScriptError(st.line, std::string(Entry(get).member) +
                                           " is a property: read it with '" + Entry(get).member +
                                           "', write it with '" + Entry(get).member + " = value'");
        return Entry(get);
    }
    throw ScriptError(st.line, std::string(Entry(put).member) + " is write-only: write it with '" +
                                   Entry(put).member + " = value'");
}

std::vector<ScriptError> CheckScript(const std::vector<Statement>& statements) {
    std::vector<ScriptError> errors;
    std::set<std::string> buffers;
    for (const Statement& st : statements) {
        try {
            switch (st.kind) {
                case Statement::Kind::Call:
                case Statement::Kind::PropertyPut: {
                    ResolveEntry(st);
                    for (const Literal& arg : st.args) {
                        if (arg.kind == Literal::Kind::BufferArray && !buffers.count(arg.text))
                            throw ScriptError(st.line, "unknown buffer '" + arg.text + "'");
                        if (arg.kind == Literal::Kind::BufferAddress && !buffers.count(arg.text))
                            throw ScriptError(st.line, "unknown buffer '" + arg.text +
                                                           "' (define it first with 'buffer " +
                                                           arg.text + " = SIZE' or '< FILE')");
                        if (arg.kind == Literal::Kind::Record)
                            for (const auto& [name, value] : arg.fields)
                                if (value.kind == Literal::Kind::BufferAddress &&
                                    !buffers.count(value.text))
                                    throw ScriptError(st.line,
                                                      "unknown buffer '" + value.text + "'");
                    }
                    if (!st.buffer.empty()) {
                        if (!ResolveEntry(st).hasValue())
                            throw ScriptError(
                                st.line,
                                st.member + " has no Value to keep in buffer " + st.buffer);
                        buffers.insert(st.buffer);
                    }
                    break;
                }
                case Statement::Kind::BufferAlloc:
                    if (st.size > kMaxBufferSize)
                        throw ScriptError(st.line, "buffer size " + std::to_string(st.size) +
                                                       " is over the limit of " +
                                                       std::to_string(kMaxBufferSize) + " bytes");
                    buffers.insert(st.buffer);
                    break;
                case Statement::Kind::BufferLoad: buffers.insert(st.buffer); break;
                case Statement::Kind::BufferSave:
                    if (!buffers.count(st.buffer))
                        throw ScriptError(st.line, "unknown buffer '" + st.buffer + "'");
                    break;
                case Statement::Kind::Form: break;  // checked when parsed
            }
        } catch (const ScriptError& e) {
            errors.push_back(e);
        }
    }
    return errors;
}

// ---- running -----------------------------------------------------------------------------------

const std::vector<std::uint8_t>* ScriptRunner::FindBuffer(const std::string& name) const {
    const auto it = buffers_.find(name);
    return it == buffers_.end() ? nullptr : &it->second;
}

std::string ScriptRunner::BufferStatement(const Statement& st) {
    auto define = [&](std::vector<std::uint8_t> data) { DefineBuffer(st.buffer, std::move(data)); };
    switch (st.kind) {
        case Statement::Kind::BufferAlloc: {
            if (st.size > kMaxBufferSize) throw ScriptError(st.line, "buffer size over the limit");
            try {
                define(std::vector<std::uint8_t>(static_cast<std::size_t>(st.size)));
            } catch (const std::bad_alloc&) {
                throw ScriptError(st.line, "out of memory for buffer " + st.buffer);
            }
            return "buffer " + st.buffer + " = " + std::to_string(st.size) + " bytes";
        }
        case Statement::Kind::BufferLoad: {
            errno = 0;
            std::ifstream in(st.path, std::ios::binary);
            std::error_code ec;
            if (!in || std::filesystem::is_directory(st.path, ec))
                throw ScriptError(st.line, "cannot read '" + st.path +
                                               "': " + std::strerror(errno ? errno : ENOENT));
            in.seekg(0, std::ios::end);
            const std::streamoff size = in.tellg();
            in.seekg(0, std::ios::beg);
            if (size < 0) throw ScriptError(st.line, "cannot read '" + st.path + "'");
            if (static_cast<std::uint64_t>(size) > kMaxBufferSize)
                throw ScriptError(st.line, "'" + st.path + "' is over the buffer size limit");
            std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
            if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size))
                throw ScriptError(st.line, "cannot read '" + st.path + "'");
            const std::size_t loaded = data.size();
            define(std::move(data));
            return "buffer " + st.buffer + " < " + QuoteString(st.path) + " (" +
                   std::to_string(loaded) + " bytes)";
        }
        case Statement::Kind::BufferSave: {
            const auto* data = FindBuffer(st.buffer);
            if (!data) throw ScriptError(st.line, "unknown buffer '" + st.buffer + "'");
            errno = 0;
            std::ofstream outFile(st.path, std::ios::binary | std::ios::trunc);
            if (outFile)
                outFile.write(reinterpret_cast<const char*>(data->data()),
                              static_cast<std::streamsize>(data->size()));
            outFile.close();
            if (!outFile)
                throw ScriptError(st.line, "cannot write '" + st.path +
                                               "': " + std::strerror(errno ? errno : EIO));
            return "save " + st.buffer + " > " + QuoteString(st.path) + " (" +
                   std::to_string(data->size()) + " bytes)";
        }
        default: return {};
    }
}

CallOutcome ScriptRunner::Call(const Statement& st) {
    const EntryInfo& entry = ResolveEntry(st);
    if (!control_) throw ScriptError(st.line, "no control");
    const std::string member = entry.member;
    CallOutcome outcome;

    auto fail = [&](HRESULT hr, const std::string& message) {
        outcome.status = CallOutcome::Status::Failed;
        outcome.hr = hr;
        outcome.valueText = "!! " + FormatHResult(hr) + (message.empty() ? "" : " " + message);
        outcome.text = member + " " + outcome.valueText;
        return outcome;
    };

    // Late binding by name, as any automation client does.
    std::u16string wideName = Utf8ToWide(member);
    LPOLESTR names[] = {wideName.data()};
    DISPID dispid = DISPID_UNKNOWN;
    HRESULT hr = control_->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) return fail(hr, HResultText(hr));

    // Arguments in reverse order; by-reference ones point at host storage.
    const std::size_t count = st.args.size();
    const bool put = entry.kind == EntryKind::PropertyPut;
    VariantBuilder builder(buffers_, st.line);
    std::vector<Variant> args(count);
    std::vector<ByRefStorage> slots(count);
    for (std::size_t i = 0; i < count; ++i) {
        Variant& arg = args[count - 1 - i];
        const Literal& lit = st.args[i];
        const ParamInfo& p = entry.params[i];
        Variant natural = builder.Make(lit);
        if (!put && p.byRef) {
            const VARTYPE base = VARTYPE(p.vt & ~VT_BYREF);
            if (!MakeByRefArgument(natural, base, slots[i], arg))
                throw ScriptError(st.line, "value " + lit.spelling + " does not fit " + p.name +
                                               " (" + VarTypeName(base) + ")");
        } else {
            arg = std::move(natural);
        }
    }

    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.data(), put ? &namedPut : nullptr, static_cast<UINT>(count),
                      put ? 1u : 0u};
    const WORD flags = put                                    ? DISPATCH_PROPERTYPUT
                       : entry.kind == EntryKind::PropertyGet ? DISPATCH_PROPERTYGET
                                                              : DISPATCH_METHOD;
    Variant result;
    EXCEPINFO exception{};
    UINT argErr = std::numeric_limits<UINT>::max();
    const auto start = std::chrono::steady_clock::now();
    hr = control_->Invoke(dispid, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                          put ? nullptr : &result, &exception, &argErr);
    outcome.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    if (hr == DISP_E_EXCEPTION) {
        const HRESULT scode = exception.scode ? exception.scode : E_FAIL;
        std::string description = TakeException(exception);
        if (description.empty()) description = HResultText(scode);
        return fail(scode, description);
    }
    TakeException(exception);  // nothing should be there; free it if there is
    if (FAILED(hr)) {
        std::string message = HResultText(hr);
        if (argErr < count &&
            (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_PARAMNOTFOUND)) {
            const std::size_t index = put ? 0 : count - 1 - argErr;
            message += " (argument " + std::string(entry.params[index].name) + " = " +
                       st.args[index].spelling + ")";
        }
        return fail(hr, message);
    }

    if (put) {
        outcome.valueText = st.args[0].spelling;
        outcome.text = member + " = " + outcome.valueText;
        return outcome;
    }
    outcome.valueText = entry.hasValue() ? FormatVariant(result) : "(done)";
    if (const std::string note = FailureNote(entry, result); !note.empty())
        outcome.valueText += " (" + note + ")";
    if (!st.buffer.empty()) KeepArray(st, result, outcome);
    std::string byRefs;
    for (std::size_t i = 0; i < count; ++i) {
        const ParamInfo& p = entry.params[i];
        if (!p.byRef) continue;
        if (!byRefs.empty()) byRefs += ", ";
        byRefs += std::string(p.name) + "=" + FormatVariant(args[count - 1 - i]);
    }
    if (!byRefs.empty()) outcome.valueText += " [" + byRefs + "]";
    outcome.text = member + " -> " + outcome.valueText;
    return outcome;
}

void ScriptRunner::DefineBuffer(const std::string& name, std::vector<std::uint8_t> data) {
    // Moving the vector below keeps its storage, so the region stays where it is registered.
    MemoryRegionRegistration region(data.data(), data.size());
    auto it = buffers_.find(name);
    if (it != buffers_.end()) {
        retired_.push_back(std::move(it->second));  // the moved vector keeps its memory
        it->second = std::move(data);
    } else {
        buffers_.emplace(name, std::move(data));
    }
    regions_.push_back(std::move(region));
}

// `Member … > NAME`: the Value's bytes become buffer NAME. Any other Value fails the call and
// leaves the buffer empty, so that later statements naming it still run on defined contents.
void ScriptRunner::KeepArray(const Statement& st, const VARIANT& value, CallOutcome& outcome) {
    const VARIANT* direct =
        value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal ? value.pvarVal : &value;
    SAFEARRAY* array = nullptr;
    if (direct->vt == (VT_ARRAY | VT_UI1)) array = direct->parray;
    if (direct->vt == (VT_ARRAY | VT_UI1 | VT_BYREF) && direct->pparray) array = *direct->pparray;
    std::vector<std::uint8_t> bytes;
    if (array && SafeArrayGetDim(array) == 1) {
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        const std::int64_t count = std::max<std::int64_t>(0, std::int64_t{upper} - lower + 1);
        SafeArrayAccess access(array);
        if (count > 0 && access.ok()) {
            const auto* first = static_cast<const std::uint8_t*>(access.data());
            bytes.assign(first, first + count);
        }
    } else {
        outcome.status = CallOutcome::Status::Failed;
        outcome.valueText += " !! not a byte array; buffer " + st.buffer + " is empty";
    }
    DefineBuffer(st.buffer, std::move(bytes));
    if (outcome.status == CallOutcome::Status::Ok) outcome.valueText += " > " + st.buffer;
}

CallOutcome ScriptRunner::Execute(const Statement& st) {
    if (st.kind == Statement::Kind::Call || st.kind == Statement::Kind::PropertyPut)
        return Call(st);
    CallOutcome outcome;
    if (st.kind == Statement::Kind::Form) {
        outcome.text = form_.Execute(control_, st);
        return outcome;
    }
    outcome.text = BufferStatement(st);
    return outcome;
}

int ScriptRunner::Run(const std::vector<Statement>& statements, bool keepGoing,
                      const std::string& sourceName, std::ostream& out, std::ostream& err) {
    bool failed = false;
    for (const Statement& st : statements) {
        try {
            const CallOutcome outcome = Execute(st);
            out << outcome.text << '\n';
            out.flush();
            if (outcome.status == CallOutcome::Status::Failed) {
                failed = true;
                if (!keepGoing) return 1;
            }
        } catch (const ScriptError& e) {
            out.flush();
            err << sourceName << ":" << e.line() << ": " << e.what() << '\n';
            return 2;
        }
    }
    return failed ? 1 : 0;
}

// ---- session -----------------------------------------------------------------------------------

bool HostSession::Open(const std::string& libraryPath, bool events, std::string& error) {
    if (!loader_.Load(libraryPath, error)) return false;
    runner_->SetControl(loader_.control());
    if (events) {
        sink_ = std::make_unique<EventSink>(out_);
        const HRESULT hr = connection_.Connect(loader_.control(), sink_.get());
        if (FAILED(hr)) {
            error = "cannot connect to the control's events: " + FormatHResult(hr) + " " +
                    HResultText(hr);
            return false;
        }
    }
    return true;
}

void HostSession::Close() {
    runner_->SetControl(nullptr);
    // Stay advised through the release, so that the destroy handler's OnDestroy is seen.
    connection_.Detach();
    loader_.ReleaseControl();
    if (sink_ && sink_->references() != 0) {
        // The control kept the sink past its own release: the sink must outlive any later
        // call into it, so it is left to the end of the process.
        std::cerr
            << "axlumora: warning: the control still holds the event sink after its release\n";
        (void)sink_.release();
    }
    loader_.Unload();
}

}  // namespace host
