#include "host/ValueFormat.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "control/cvaxLumora_TLB.h"

#include "host/ScriptParser.h"

namespace host {

namespace {

template <class Float>
std::string ShortestFloat(Float value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    if (ec != std::errc()) return "?";
    return std::string(text, end);
}

// The control fills TaxLumora_FileInfo packed (38 bytes, no gaps) into the start of the
// declared 40-byte record, so the declared offsets of XRes and after are 2 bytes off.
std::string FormatPackedFileInfo(const void* record) {
    TaxLumora_FileInfoPacked packed;
    std::memcpy(&packed, record, sizeof packed);
    auto number = [](auto v) { return std::to_string(v); };
    return "{SizeDisk=" + number(packed.SizeDisk) + ", SizeMem=" + number(packed.SizeMem) +
           ", Layers=" + number(packed.Layers) + ", XRes=" + number(packed.XRes) +
           ", YRes=" + number(packed.YRes) + ", TotalPages=" + number(packed.TotalPages) +
           ", Page=" + number(packed.Page) + ", Format=" + number(packed.Format) +
           ", Bits=" + number(packed.Bits) + ", Height=" + ShortestFloat(packed.Height) +
           ", Width=" + ShortestFloat(packed.Width) + "}";
}

std::string FormatRecord(const VARIANT& value) {
    if (!value.pRecInfo || !value.pvRecord) return "{}";
    GUID guid{};
    if (SUCCEEDED(value.pRecInfo->GetGuid(&guid)) && guid == GUID_TaxLumora_FileInfo)
        return FormatPackedFileInfo(value.pvRecord);
    ULONG count = 0;
    if (FAILED(value.pRecInfo->GetFieldNames(&count, nullptr))) return "<record>";
    std::vector<BSTR> names(count, nullptr);
    if (FAILED(value.pRecInfo->GetFieldNames(&count, names.data()))) return "<record>";
    std::string out = "{";
    for (ULONG i = 0; i < count; ++i) {
        BStr name = BStr::Attach(names[i]);
        Variant field;
        if (i) out += ", ";
        out += name.utf8() + "=";
        if (SUCCEEDED(value.pRecInfo->GetField(value.pvRecord, name.get(), &field)))
            out += FormatVariant(field);
        else out += "?";
    }
    return out + "}";
}

std::string FormatArray(const VARIANT& value) {
    SAFEARRAY* array =
        (value.vt & VT_BYREF) ? (value.pparray ? *value.pparray : nullptr) : value.parray;
    const VARTYPE element = value.vt & VT_TYPEMASK;
    if (!array) return "<empty array>";
    ULONG count = 1;
    for (USHORT d = 0; d < array->cDims; ++d) count *= array->rgsabound[d].cElements;
    if (element == VT_UI1 || element == VT_I1)
        return "<byte array " + std::to_string(count) + " bytes>";
    return "<array of " + std::to_string(count) + " elements, type " + std::to_string(element) +
           ">";
}

}  // namespace

std::string FormatVariant(const VARIANT& value) {
    if (value.vt & VT_ARRAY) return FormatArray(value);
    if (value.vt == (VT_BYREF | VT_VARIANT))
        return value.pvarVal ? FormatVariant(*value.pvarVal) : "(none)";
    if (value.vt & VT_BYREF) {
        if (!value.byref) return "(none)";
        Variant direct;
        if (FAILED(VariantCopyInd(&direct, &value))) return "?";
        return FormatVariant(direct);
    }
    switch (value.vt) {
        case VT_EMPTY: return "(none)";
        case VT_NULL: return "null";
        case VT_I1: return std::to_string(static_cast<int>(value.cVal));
        case VT_UI1: return std::to_string(value.bVal);
        case VT_I2: return std::to_string(value.iVal);
        case VT_UI2: return std::to_string(value.uiVal);
        case VT_I4: return std::to_string(value.lVal);
        case VT_UI4: return std::to_string(value.ulVal);
        case VT_INT: return std::to_string(value.intVal);
        case VT_UINT: return std::to_string(value.uintVal);
        case VT_I8: return std::to_string(value.llVal);
        case VT_UI8: return std::to_string(value.ullVal);
        case VT_BOOL: return std::to_string(value.boolVal);
        case VT_ERROR: return "error " + FormatHResult(value.scode);
        case VT_R4: return ShortestFloat(value.fltVal);
        case VT_R8: return ShortestFloat(value.dblVal);
        case VT_DATE: return "date " + ShortestFloat(value.date);
        case VT_BSTR: return QuoteString(BstrToUtf8(value.bstrVal));
        case VT_DISPATCH:
        case VT_UNKNOWN: return value.punkVal ? "<object>" : "(nothing)";
        case VT_RECORD: return FormatRecord(value);
        default: return "<variant type " + std::to_string(value.vt) + ">";
    }
}

std::string FormatHResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string HResultText(HRESULT hr) {
    switch (hr) {
        case S_OK: return "success";
        case E_NOTIMPL: return "not implemented";
        case E_NOINTERFACE: return "interface not supported";
        case E_POINTER: return "invalid pointer";
        case E_FAIL: return "unspecified failure";
        case E_UNEXPECTED: return "unexpected failure";
        case E_OUTOFMEMORY: return "out of memory";
        case E_INVALIDARG: return "invalid argument";
        case DISP_E_UNKNOWNINTERFACE: return "unknown interface";
        case DISP_E_MEMBERNOTFOUND: return "member not found (wrong kind of access?)";
        case DISP_E_PARAMNOTFOUND: return "parameter not found";
        case DISP_E_TYPEMISMATCH: return "type mismatch";
        case DISP_E_UNKNOWNNAME: return "unknown name";
        case DISP_E_NONAMEDARGS: return "named arguments not accepted";
        case DISP_E_BADVARTYPE: return "bad variant type";
        case DISP_E_EXCEPTION: return "exception";
        case DISP_E_OVERFLOW: return "value out of range for the parameter";
        case DISP_E_BADINDEX: return "bad index";
        case DISP_E_BADPARAMCOUNT: return "wrong number of arguments";
        case DISP_E_PARAMNOTOPTIONAL: return "a required argument is missing";
        case CLASS_E_NOAGGREGATION: return "aggregation not supported";
        case CLASS_E_CLASSNOTAVAILABLE: return "class not available";
        case CONNECT_E_NOCONNECTION: return "no such connection point";
        case CONNECT_E_CANNOTCONNECT: return "cannot connect";
        default: return {};
    }
}

}  // namespace host
