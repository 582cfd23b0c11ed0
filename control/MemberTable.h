// The member table of IaxLumora, as data: one row per entry point, in vtable order, expanded
// from IaxLumoraEntries.inc. GetIDsOfNames, Invoke, the binding tests and the command-line host
// all read this table, so late and early binding cannot disagree.
#pragma once

#include <array>
#include <cctype>
#include <initializer_list>
#include <string>
#include <string_view>

#include "axlumora/cvaxLumora_TLB.h"

enum class EntryKind : std::uint8_t { Method, PropertyGet, PropertyPut, PropertyPutRef };

struct ParamInfo {
    VARTYPE vt;  // VT_BYREF set for in/out parameters
    const char* name;
    bool byRef;
    bool optional;
    std::int32_t defaultValue;
};

constexpr int kMaxParams = 12;

struct EntryInfo {
    DISPID dispid;
    const char* member;  // automation name
    const char* entry;   // entry-point name: get_X, put_X, putref_X or the method's name
    EntryKind kind;
    VARTYPE valueVt;  // VT_EMPTY: the entry has no Value out-parameter
    const char* valueName;
    int paramCount;  // parameters before Value
    std::array<ParamInfo, kMaxParams> params;

    constexpr bool hasValue() const { return valueVt != VT_EMPTY; }
    constexpr int requiredParams() const {
        int n = 0;
        for (int i = 0; i < paramCount; ++i)
            if (!params[i].optional) ++n;
        return n;
    }
};

constexpr EntryInfo MakeEntry(DISPID dispid, const char* member, const char* entry, EntryKind kind,
                              VARTYPE valueVt, std::initializer_list<ParamInfo> params) {
    EntryInfo e{dispid, member, entry, kind, valueVt, "Value", 0, {}};
    for (const ParamInfo& p : params) {
        e.params[e.paramCount++] = p;
        // SetTag takes an input named Value; its result is then called Value1.
        if (std::string_view(p.name) == "Value" && kind == EntryKind::Method)
            e.valueName = "Value1";
    }
    return e;
}

#define P(type, vt, name) \
    ParamInfo { vt, #name, false, false, 0 }
#define PREF(type, vt, name) \
    ParamInfo { VARTYPE(vt | VT_BYREF), #name, true, false, 0 }
#define POPT(type, vt, name, dflt) \
    ParamInfo { vt, #name, false, true, dflt }
#define AX_PROP(dispid, Name, Type, vt)                                          \
    MakeEntry(dispid, #Name, "get_" #Name, EntryKind::PropertyGet, vt, {}),      \
        MakeEntry(dispid, #Name, "put_" #Name, EntryKind::PropertyPut, VT_EMPTY, \
                  {ParamInfo{vt, "Value", false, false, 0}}),
#define AX_PROP_GET(dispid, Name, Type, vt) \
    MakeEntry(dispid, #Name, "get_" #Name, EntryKind::PropertyGet, vt, {}),
#define AX_PROP_FONT(dispid)                                                          \
    MakeEntry(dispid, "Font", "get_Font", EntryKind::PropertyGet, VT_DISPATCH, {}),   \
        MakeEntry(dispid, "Font", "put_Font", EntryKind::PropertyPut, VT_EMPTY,       \
                  {ParamInfo{VT_DISPATCH, "Value", false, false, 0}}),                \
        MakeEntry(dispid, "Font", "putref_Font", EntryKind::PropertyPutRef, VT_EMPTY, \
                  {ParamInfo{VT_DISPATCH, "Value", false, false, 0}}),
#define AX_METHOD(dispid, Name, ValueType, valueVt, ...) \
    MakeEntry(dispid, #Name, #Name, EntryKind::Method, valueVt, {__VA_ARGS__}),
#define AX_METHOD_NOVALUE(dispid, Name, ...) \
    MakeEntry(dispid, #Name, #Name, EntryKind::Method, VT_EMPTY, {__VA_ARGS__}),

inline constexpr std::array<EntryInfo, kIaxLumoraEntryCount> kIaxLumoraEntries = {
#include "axlumora/IaxLumoraEntries.inc"
};

#include "axlumora/IaxLumoraEntriesEnd.inc"

struct EventInfo {
    DISPID dispid;
    const char* name;
    int paramCount;
    std::array<ParamInfo, 4> params;
};

inline constexpr std::array<EventInfo, 14> kIaxLumoraEvents = {{
    {DISPID_OnActivate, "OnActivate", 0, {}},
    {DISPID_OnClick, "OnClick", 0, {}},
    {DISPID_OnCreate, "OnCreate", 0, {}},
    {DISPID_OnDblClick, "OnDblClick", 0, {}},
    {DISPID_OnDestroy, "OnDestroy", 0, {}},
    {DISPID_OnDeactivate, "OnDeactivate", 0, {}},
    {DISPID_OnKeyPress, "OnKeyPress", 1, {{{VARTYPE(VT_I2 | VT_BYREF), "Key", true, false, 0}}}},
    {DISPID_OnMouseEnter, "OnMouseEnter", 0, {}},
    {DISPID_OnMouseLeave, "OnMouseLeave", 0, {}},
    {DISPID_OnPaint, "OnPaint", 0, {}},
    {DISPID_OnLog, "OnLog", 1, {{{VT_BSTR, "strLog", false, false, 0}}}},
    {DISPID_OnMouseDown,
     "OnMouseDown",
     4,
     {{{VT_I4, "Button", false, false, 0},
       {VT_I4, "Shift", false, false, 0},
       {VT_I4, "x", false, false, 0},
       {VT_I4, "y", false, false, 0}}}},
    {DISPID_OnMouseUp,
     "OnMouseUp",
     4,
     {{{VT_I4, "Button", false, false, 0},
       {VT_I4, "Shift", false, false, 0},
       {VT_I4, "x", false, false, 0},
       {VT_I4, "y", false, false, 0}}}},
    {DISPID_OnMouseMove,
     "OnMouseMove",
     3,
     {{{VT_I4, "Shift", false, false, 0},
       {VT_I4, "x", false, false, 0},
       {VT_I4, "y", false, false, 0}}}},
}};

// Lookups. Indices are positions in kIaxLumoraEntries; an entry's vtable slot is
// kIDispatchEntryCount + index. Member names compare case-insensitively, as automation does.

namespace member_table_detail {

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace member_table_detail

inline int FindEntry(DISPID dispid, EntryKind kind) {
    for (std::size_t i = 0; i < kIaxLumoraEntries.size(); ++i)
        if (kIaxLumoraEntries[i].dispid == dispid && kIaxLumoraEntries[i].kind == kind)
            return static_cast<int>(i);
    return -1;
}

inline int FindEntryByName(std::string_view member, EntryKind kind) {
    for (std::size_t i = 0; i < kIaxLumoraEntries.size(); ++i)
        if (kIaxLumoraEntries[i].kind == kind &&
            member_table_detail::EqualsIgnoreCase(kIaxLumoraEntries[i].member, member))
            return static_cast<int>(i);
    return -1;
}

inline DISPID FindDispId(std::string_view member) {
    for (const EntryInfo& e : kIaxLumoraEntries)
        if (member_table_detail::EqualsIgnoreCase(e.member, member)) return e.dispid;
    return DISPID_UNKNOWN;
}

inline const EventInfo* FindEvent(DISPID dispid) {
    for (const EventInfo& e : kIaxLumoraEvents)
        if (e.dispid == dispid) return &e;
    return nullptr;
}

inline const char* VarTypeName(VARTYPE vt) {
    switch (vt & VT_TYPEMASK) {
        case VT_EMPTY: return "none";
        case VT_I2: return "int16";
        case VT_I4: return "int32";
        case VT_R4: return "float32";
        case VT_R8: return "float64";
        case VT_BSTR: return "string";
        case VT_DISPATCH: return "IDispatch";
        case VT_BOOL: return "bool";
        case VT_VARIANT: return "variant";
        case VT_UI1: return "uint8";
        case VT_UI4: return "uint32";
        case VT_UI8: return "uint64";
        case VT_RECORD: return "record";
        default: return "?";
    }
}

// A parameter as listings and messages show it: "ref float32 SX", "[int32 iOrder = 0]".
inline std::string ParamText(const ParamInfo& p) {
    std::string text = p.byRef ? "ref " : "";
    text += VarTypeName(p.vt);
    text += " ";
    text += p.name;
    if (p.optional) text = "[" + text + " = " + std::to_string(p.defaultValue) + "]";
    return text;
}
