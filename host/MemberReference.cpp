#include "host/MemberReference.h"

#include <cctype>
#include <cstdio>
#include <set>
#include <string_view>

#include "control/MemberDescriptions.h"
#include "engine/Status.h"

namespace host {

namespace {

// A '|' inside a table cell would end the cell.
std::string Cell(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

std::string Sentence(std::string_view text) {
    std::string out(text);
    if (!out.empty()) out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
    return out;
}

std::string Anchor(std::string_view member) {
    std::string out;
    for (char c : member) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

struct MemberShape {
    const EntryInfo* method = nullptr;
    const EntryInfo* get = nullptr;
    bool put = false;
    bool putRef = false;
};

MemberShape ShapeOf(std::string_view member) {
    MemberShape shape;
    for (const EntryInfo& e : kIaxLumoraEntries) {
        if (std::string_view(e.member) != member) continue;
        switch (e.kind) {
            case EntryKind::Method: shape.method = &e; break;
            case EntryKind::PropertyGet: shape.get = &e; break;
            case EntryKind::PropertyPut: shape.put = true; break;
            case EntryKind::PropertyPutRef: shape.putRef = true; break;
        }
    }
    return shape;
}

void WriteValueRows(std::ostream& out, const MemberDescription& d) {
    const int codes = ValueCodeCount(d);
    if (d.value != ValueReading::MappedStatus && d.value != ValueReading::EngineStatus &&
        codes == 0)
        return;
    out << "\n| Value | Meaning |\n|---|---|\n";
    std::set<int> listed;
    for (int i = 0; i < codes; ++i) listed.insert(d.codes[static_cast<std::size_t>(i)].code);
    const bool mapped = d.value == ValueReading::MappedStatus;
    if (mapped || d.value == ValueReading::EngineStatus) {
        const int success = mapped ? 0 : SUCCESS;
        const int failed = mapped ? 1 : FAILURE;
        if (!listed.count(success)) out << "| " << success << " | success |\n";
        if (!listed.count(failed)) out << "| " << failed << " | the engine failed |\n";
    }
    for (int i = 0; i < codes; ++i) {
        const ValueCode& c = d.codes[static_cast<std::size_t>(i)];
        out << "| " << c.code << " | " << Cell(c.meaning) << " |\n";
    }
    if (mapped || d.value == ValueReading::EngineStatus)
        out << "| other negative | an engine status code, see [Engine status "
               "codes](#engine-status-codes) |\n";
}

void WriteMember(std::ostream& out, const EntryInfo& first) {
    const MemberDescription* d = FindMemberDescription(first.member);
    const MemberShape shape = ShapeOf(first.member);
    out << "\n### `" << first.member << "`\n\n";
    if (shape.method) {
        const EntryInfo& e = *shape.method;
        out << "Method, DISPID " << e.dispid << ": `" << e.member << "(";
        for (int p = 0; p < e.paramCount; ++p)
            out << (p ? ", " : "") << ParamText(e.params[static_cast<std::size_t>(p)]);
        out << ")";
        if (e.hasValue()) out << " -> " << VarTypeName(e.valueVt) << " " << e.valueName;
        out << "`\n";
    } else if (shape.get) {
        const char* kind = !shape.put     ? "Read-only property"
                           : shape.putRef ? "Property, also settable by reference"
                                          : "Property";
        out << kind << ", DISPID " << shape.get->dispid << ", " << VarTypeName(shape.get->valueVt)
            << ".\n";
    }
    if (!d) return;  // the descriptions test names the member
    out << "\n" << d->summary << "\n";

    if (shape.method && shape.method->paramCount > 0) {
        const EntryInfo& e = *shape.method;
        out << "\n| Parameter | Type | Meaning |\n|---|---|---|\n";
        for (int p = 0; p < e.paramCount; ++p) {
            const ParamInfo& param = e.params[static_cast<std::size_t>(p)];
            const char* text = "";
            for (int n = 0; n < ParamNoteCount(*d); ++n)
                if (std::string_view(d->params[static_cast<std::size_t>(n)].name) == param.name)
                    text = d->params[static_cast<std::size_t>(n)].text;
            std::string type = VarTypeName(param.vt);
            if (param.byRef) type = "ref " + type;
            if (param.optional) type += ", optional (" + std::to_string(param.defaultValue) + ")";
            out << "| `" << param.name << "` | " << type << " | " << Cell(text) << " |\n";
        }
    }

    switch (d->value) {
        case ValueReading::None: out << "\nNo `Value`.\n"; break;
        case ValueReading::Datum:
            out << "\n**Value**: " << (d->valueText ? d->valueText : "") << "\n";
            break;
        case ValueReading::MappedStatus:
            out << "\n**Value**: the engine's status mapped to 0 for success and 1 for a failure "
                   "without a code; negative codes pass unchanged.";
            if (d->valueText) out << " " << Sentence(d->valueText);
            out << "\n";
            break;
        case ValueReading::EngineStatus:
            out << "\n**Value**: the engine's status as it gave it: 1 is success.";
            if (d->valueText) out << " " << Sentence(d->valueText);
            out << "\n";
            break;
        case ValueReading::OwnCodes:
            out << "\n**Value**:";
            if (d->valueText) out << " " << d->valueText;
            else out << " the member's own code.";
            out << "\n";
            break;
    }
    WriteValueRows(out, *d);
    if (d->details) out << "\n" << d->details << "\n";
}

}  // namespace

void WriteMembersMarkdown(std::ostream& out) {
    out << "# axLumora member reference\n\n"
           "<!-- Generated by `axlumora members --markdown` from control/IaxLumoraEntries.inc and "
           "control/MemberDescriptions.inc; edit those, then regenerate. -->\n\n"
           "Every member of the control's interface `IaxLumora`, in the order of its entry points. "
           "Each member returns an HRESULT; its result is the last out-parameter, `Value`. The "
           "member's own failures and the engine's are reported in `Value` and the debug log, "
           "never raised: a failing HRESULT (0x8000FFFF with error information) means an argument "
           "outside its type's range or an error the member did not expect. Booleans read -1 "
           "(true) or 0; any non-zero value written is true. Colours are 0x00BBGGRR. "
           "Coordinates are pixels of the image as displayed (after its display orientation, "
           "`InfoViewPerspective`).\n\n"
           "Members that report an engine call map its status: 1 (success) becomes 0, 0 becomes "
           "1, negative codes pass unchanged; see [Engine status codes](#engine-status-codes). "
           "The host prints the meaning beside a failing code: `Load -> -1 (file not found)`.\n\n"
           "## Members\n\n";
    std::set<std::string_view> seen;
    bool firstLink = true;
    for (const EntryInfo& e : kIaxLumoraEntries) {
        if (!seen.insert(e.member).second) continue;
        out << (firstLink ? "" : " · ") << "[`" << e.member << "`](#" << Anchor(e.member) << ")";
        firstLink = false;
    }
    out << "\n";
    seen.clear();
    for (const EntryInfo& e : kIaxLumoraEntries)
        if (seen.insert(e.member).second) WriteMember(out, e);

    out << "\n## Engine status codes\n\n"
           "The imaging engine answers every operation with one of these codes; members pass them "
           "on in `Value` as described above (`axlumora codes` lists them too).\n\n"
           "| Code | Name | Meaning |\n|---|---|---|\n";
    for (const EngineStatusInfo& s : kEngineStatuses)
        out << "| " << s.code << " | `" << s.name << "` | " << s.meaning << " |\n";
}

void WriteStatusCodes(std::ostream& out) {
    for (const EngineStatusInfo& s : kEngineStatuses) {
        char line[64];
        std::snprintf(line, sizeof line, "%4d  %-28s ", s.code, s.name);
        out << line << s.meaning << '\n';
    }
}

std::string FailureNote(const EntryInfo& entry, const VARIANT& value) {
    if (entry.kind != EntryKind::Method) return {};
    int v = 0;
    if (value.vt == VT_I2) v = value.iVal;
    else if (value.vt == VT_I4) v = value.lVal;
    else return {};
    const MemberDescription* d = FindMemberDescription(entry.member);
    if (!d) return {};
    for (int i = 0; i < ValueCodeCount(*d); ++i) {
        const ValueCode& c = d->codes[static_cast<std::size_t>(i)];
        if (c.code == v) return c.failure ? c.meaning : "";
    }
    int status = v;
    switch (d->value) {
        case ValueReading::MappedStatus:
            if (v == 0) return {};
            if (v == 1) status = FAILURE;
            break;
        case ValueReading::EngineStatus:
            if (v == SUCCESS) return {};
            break;
        case ValueReading::OwnCodes:
            if (v >= 0) return {};
            break;
        default: return {};
    }
    const EngineStatusInfo* info = FindEngineStatus(status);
    return info ? info->meaning : "";
}

}  // namespace host
