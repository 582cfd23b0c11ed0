// Late binding of IaxLumora: GetIDsOfNames and Invoke over the member table. Invoke converts the
// caller's variants to each entry point's parameter types and calls the entry through the same
// vtable that early-bound hosts use.
#include <cstring>
#include <tuple>
#include <type_traits>

#include "control/MemberTable.h"
#include "control/Records.h"
#include "control/cvaxLumoraMain.h"

namespace {

// `called` tells a failure of the member itself from one of converting its arguments.
using InvokeFn = HRESULT (*)(IaxLumora* self, const EntryInfo& entry, DISPPARAMS* params,
                             VARIANT* result, UINT* argErr, bool& called);

// ---- conversions between variants and parameter types -----------------------------------------

template <class T>
HRESULT FromVariant(const VARIANT& source, VARTYPE vt, T& out) {
    if constexpr (std::is_arithmetic_v<T> || std::is_enum_v<T>) {
        Variant converted;
        HRESULT hr = VariantChangeType(&converted, &source, 0, vt);
        if (FAILED(hr)) return hr;
        switch (vt) {
            case VT_I2: out = static_cast<T>(converted.iVal); break;
            case VT_BOOL: out = static_cast<T>(converted.boolVal); break;
            case VT_I4: out = static_cast<T>(converted.lVal); break;
            case VT_UI1: out = static_cast<T>(converted.bVal); break;
            case VT_UI4: out = static_cast<T>(converted.ulVal); break;
            case VT_UI8: out = static_cast<T>(converted.ullVal); break;
            case VT_R4: out = static_cast<T>(converted.fltVal); break;
            case VT_R8: out = static_cast<T>(converted.dblVal); break;
            default: return DISP_E_BADVARTYPE;
        }
        return S_OK;
    } else if constexpr (std::is_same_v<T, BSTR>) {
        Variant converted;
        HRESULT hr = VariantChangeType(&converted, &source, 0, VT_BSTR);
        if (FAILED(hr)) return hr;
        out = converted.bstrVal;
        converted.vt = VT_EMPTY;  // ownership moves to out
        return S_OK;
    } else if constexpr (std::is_same_v<T, VARIANT>) {
        VariantInit(&out);
        return VariantCopyInd(&out, &source);
    } else if constexpr (std::is_same_v<T, IFontDisp*>) {
        const VARIANT* v = &source;
        if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
        IUnknown* unknown = nullptr;
        if (v->vt == VT_DISPATCH) unknown = v->pdispVal;
        else if (v->vt == VT_UNKNOWN) unknown = v->punkVal;
        else if (v->vt == (VT_BYREF | VT_DISPATCH)) unknown = *v->ppdispVal;
        else if (v->vt != VT_EMPTY && v->vt != VT_NULL) return DISP_E_TYPEMISMATCH;
        out = nullptr;
        if (!unknown) return S_OK;
        return unknown->QueryInterface(IID_IFontDisp, reinterpret_cast<void**>(&out));
    } else {
        // A record, passed as VT_RECORD whose description has our record's size.
        const VARIANT* v = &source;
        if (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
        if ((v->vt & VT_TYPEMASK) != VT_RECORD || !v->pvRecord || !v->pRecInfo)
            return DISP_E_TYPEMISMATCH;
        ULONG size = 0;
        if (FAILED(v->pRecInfo->GetSize(&size)) || size != sizeof(T)) return DISP_E_TYPEMISMATCH;
        std::memcpy(&out, v->pvRecord, sizeof(T));
        return S_OK;
    }
}

// Moves value into a new variant of type vt (ownership of strings, variants and interfaces
// passes to the variant).
template <class T>
HRESULT ToVariant(T& value, VARTYPE vt, VARIANT& out) {
    VariantInit(&out);
    if constexpr (std::is_arithmetic_v<T> || std::is_enum_v<T>) {
        out.vt = vt;
        switch (vt) {
            case VT_I2: out.iVal = static_cast<SHORT>(value); break;
            case VT_BOOL: out.boolVal = static_cast<VARIANT_BOOL>(value); break;
            case VT_I4: out.lVal = static_cast<LONG>(value); break;
            case VT_UI1: out.bVal = static_cast<BYTE>(value); break;
            case VT_UI4: out.ulVal = static_cast<ULONG>(value); break;
            case VT_UI8: out.ullVal = static_cast<ULONGLONG>(value); break;
            case VT_R4: out.fltVal = static_cast<FLOAT>(value); break;
            case VT_R8: out.dblVal = static_cast<DOUBLE>(value); break;
            default: out.vt = VT_EMPTY; return DISP_E_BADVARTYPE;
        }
        return S_OK;
    } else if constexpr (std::is_same_v<T, BSTR>) {
        out.vt = VT_BSTR;
        out.bstrVal = std::exchange(value, nullptr);
        return S_OK;
    } else if constexpr (std::is_same_v<T, VARIANT>) {
        out = value;
        value.vt = VT_EMPTY;
        return S_OK;
    } else if constexpr (std::is_same_v<T, IFontDisp*>) {
        out.vt = VT_DISPATCH;
        out.pdispVal = std::exchange(value, nullptr);
        return S_OK;
    } else {
        IRecordInfo* info = RecordInfoFor<T>();
        void* copy = nullptr;
        HRESULT hr = info->RecordCreateCopy(&value, &copy);
        if (FAILED(hr)) return hr;
        info->AddRef();
        out.vt = VT_RECORD;
        out.pvRecord = copy;
        out.pRecInfo = info;
        return S_OK;
    }
}

// Stores a value through a VT_BYREF variant of the caller, converted to its type.
template <class T>
void WriteBack(T value, VARTYPE ourVt, VARIANT& target) {
    if (!(target.vt & VT_BYREF) || !target.byref) return;
    Variant ours;
    if (FAILED(ToVariant(value, ourVt, ours))) return;
    VARTYPE base = target.vt & VARTYPE(~VT_BYREF);
    if (base == VT_VARIANT) {
        VariantClear(target.pvarVal);
        VariantCopy(target.pvarVal, &ours);
        return;
    }
    Variant converted;
    if (FAILED(VariantChangeType(&converted, &ours, 0, base))) return;
    switch (base) {
        case VT_I2: *target.piVal = converted.iVal; break;
        case VT_BOOL: *target.pboolVal = converted.boolVal; break;
        case VT_I4: *target.plVal = converted.lVal; break;
        case VT_UI4: *target.pulVal = converted.ulVal; break;
        case VT_I8: *target.pllVal = converted.llVal; break;
        case VT_UI8: *target.pullVal = converted.ullVal; break;
        case VT_R4: *target.pfltVal = converted.fltVal; break;
        case VT_R8: *target.pdblVal = converted.dblVal; break;
        case VT_INT: *target.pintVal = converted.intVal; break;
        case VT_UINT: *target.puintVal = converted.uintVal; break;
        default: break;
    }
}

// Releases what a slot owns.
template <class T>
void ReleaseOwned(T& value) {
    if constexpr (std::is_same_v<T, BSTR>) {
        SysFreeString(std::exchange(value, nullptr));
    } else if constexpr (std::is_same_v<T, VARIANT>) {
        VariantClear(&value);
    } else if constexpr (std::is_same_v<T, IFontDisp*>) {
        if (value) std::exchange(value, nullptr)->Release();
    }
}

template <class T>
void ZeroValue(T& value) {
    if constexpr (std::is_same_v<T, VARIANT>) VariantInit(&value);
    else value = T{};
}

// One argument of the call: holds the converted value for the duration of the call.
template <class T>
struct ValueSlot {
    T value{};
    ValueSlot() { ZeroValue(value); }
    ~ValueSlot() { ReleaseOwned(value); }
    ValueSlot(const ValueSlot&) = delete;
    ValueSlot& operator=(const ValueSlot&) = delete;
    HRESULT load(const VARIANT& v, const ParamInfo& p) { return FromVariant(v, p.vt, value); }
    T arg() { return value; }
};

// A pointer argument: an in/out parameter by reference or the Value out-parameter.
template <class T>
struct PointerSlot {
    T value{};
    PointerSlot() { ZeroValue(value); }
    ~PointerSlot() { ReleaseOwned(value); }
    PointerSlot(const PointerSlot&) = delete;
    PointerSlot& operator=(const PointerSlot&) = delete;
    HRESULT load(const VARIANT& v, const ParamInfo& p) {
        return FromVariant(v, VARTYPE(p.vt & ~VT_BYREF), value);
    }
    T* arg() { return &value; }
};

template <class Arg>
struct SlotFor {
    using type = ValueSlot<Arg>;
};
template <class T>
struct SlotFor<T*> {
    using type = PointerSlot<T>;
};
template <>
struct SlotFor<BSTR> {
    using type = ValueSlot<BSTR>;
};
template <>
struct SlotFor<IFontDisp*> {
    using type = ValueSlot<IFontDisp*>;
};

// The variant carrying argument `index` (declaration order), or null when it was not passed.
const VARIANT* ArgumentAt(const DISPPARAMS* params, int index, bool propertyPut) {
    if (propertyPut) return params->cArgs >= 1 ? &params->rgvarg[0] : nullptr;
    UINT positional = params->cArgs - params->cNamedArgs;
    if (static_cast<UINT>(index) >= positional) return nullptr;
    return &params->rgvarg[params->cArgs - 1 - static_cast<UINT>(index)];
}

bool IsMissing(const VARIANT* v) {
    return !v || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
}

template <class Slot>
HRESULT LoadArgument(Slot& slot, std::size_t index, const EntryInfo& entry, DISPPARAMS* params,
                     UINT* argErr) {
    const int i = static_cast<int>(index);
    if (i >= entry.paramCount) return S_OK;  // the Value out-parameter starts zeroed
    const ParamInfo& p = entry.params[i];
    const bool put =
        entry.kind == EntryKind::PropertyPut || entry.kind == EntryKind::PropertyPutRef;
    const VARIANT* v = ArgumentAt(params, i, put);
    if (IsMissing(v)) {
        if (!p.optional) return DISP_E_PARAMNOTOPTIONAL;
        Variant fallback = Variant::I4(p.defaultValue);
        return slot.load(fallback, p);
    }
    HRESULT hr = slot.load(*v, p);
    if (FAILED(hr) && argErr) *argErr = put ? 0 : params->cArgs - 1 - static_cast<UINT>(i);
    return hr;
}

template <class Slot>
void FinishArgument(Slot& slot, std::size_t index, const EntryInfo& entry, DISPPARAMS* params,
                    VARIANT* result) {
    const int i = static_cast<int>(index);
    if constexpr (requires { slot.value; } && std::is_pointer_v<decltype(slot.arg())>) {
        if (i == entry.paramCount) {
            if (result) ToVariant(slot.value, entry.valueVt, *result);
        } else if (entry.params[i].byRef) {
            const VARIANT* v = ArgumentAt(params, i, false);
            if (v)
                WriteBack(slot.value, VARTYPE(entry.params[i].vt & ~VT_BYREF),
                          const_cast<VARIANT&>(*v));
        }
    }
}

template <class... Args, std::size_t... I>
HRESULT InvokeSlots(HRESULT (STDMETHODCALLTYPE IaxLumora::*method)(Args...), IaxLumora* self,
                    const EntryInfo& entry, [[maybe_unused]] DISPPARAMS* params,
                    [[maybe_unused]] VARIANT* result, [[maybe_unused]] UINT* argErr, bool& called,
                    std::index_sequence<I...>) {
    if (static_cast<int>(sizeof...(Args)) != entry.paramCount + (entry.hasValue() ? 1 : 0))
        return E_UNEXPECTED;
    std::tuple<typename SlotFor<Args>::type...> slots;
    HRESULT hr = S_OK;
    ((hr = SUCCEEDED(hr) ? LoadArgument(std::get<I>(slots), I, entry, params, argErr) : hr), ...);
    if (FAILED(hr)) return hr;
    called = true;
    hr = (self->*method)(std::get<I>(slots).arg()...);
    if (SUCCEEDED(hr)) (FinishArgument(std::get<I>(slots), I, entry, params, result), ...);
    return hr;
}

template <class... Args>
HRESULT InvokeWith(HRESULT (STDMETHODCALLTYPE IaxLumora::*method)(Args...), IaxLumora* self,
                   const EntryInfo& entry, DISPPARAMS* params, VARIANT* result, UINT* argErr,
                   bool& called) {
    return InvokeSlots(method, self, entry, params, result, argErr, called,
                       std::index_sequence_for<Args...>{});
}

#define AX_THUNK(entryName)                                                  \
    [](IaxLumora* s, const EntryInfo& e, DISPPARAMS* d, VARIANT* r, UINT* a, \
       bool& called) -> HRESULT {                                            \
        return InvokeWith(&IaxLumora::entryName, s, e, d, r, a, called);     \
    }
#define AX_PROP(dispid, Name, Type, vt) AX_THUNK(get_##Name), AX_THUNK(put_##Name),
#define AX_PROP_GET(dispid, Name, Type, vt) AX_THUNK(get_##Name),
#define AX_PROP_FONT(dispid) AX_THUNK(get_Font), AX_THUNK(put_Font), AX_THUNK(putref_Font),
#define AX_METHOD(dispid, Name, ValueType, valueVt, ...) AX_THUNK(Name),
#define AX_METHOD_NOVALUE(dispid, Name, ...) AX_THUNK(Name),

constexpr std::array<InvokeFn, kIaxLumoraEntryCount> kThunks = {
#include "axlumora/IaxLumoraEntries.inc"
};

#undef AX_PROP
#undef AX_PROP_GET
#undef AX_PROP_FONT
#undef AX_METHOD
#undef AX_METHOD_NOVALUE
#undef AX_THUNK

int SelectEntry(DISPID dispid, WORD flags) {
    if (flags & DISPATCH_PROPERTYPUTREF) {
        int index = FindEntry(dispid, EntryKind::PropertyPutRef);
        return index >= 0 ? index : FindEntry(dispid, EntryKind::PropertyPut);
    }
    if (flags & DISPATCH_PROPERTYPUT) return FindEntry(dispid, EntryKind::PropertyPut);
    if (flags & DISPATCH_METHOD) {
        int index = FindEntry(dispid, EntryKind::Method);
        if (index >= 0) return index;
    }
    if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))
        return FindEntry(dispid, EntryKind::PropertyGet);
    return -1;
}

void FillException(EXCEPINFO* exception, HRESULT hr) {
    *exception = EXCEPINFO{};
    exception->scode = hr;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        info->GetSource(&exception->bstrSource);
        info->GetDescription(&exception->bstrDescription);
        info->GetHelpFile(&exception->bstrHelpFile);
        info->GetHelpContext(&exception->dwHelpContext);
        SetErrorInfo(0, info.get());  // left in place for callers that ask the thread
    }
}

}  // namespace

HRESULT TaxLumora::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT TaxLumora::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT TaxLumora::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    if (!rgszNames || !rgDispId || cNames == 0) return E_POINTER;
    for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    std::string member = rgszNames[0] ? WideToUtf8(rgszNames[0]) : std::string();
    DISPID dispid = FindDispId(member);
    if (dispid == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
    rgDispId[0] = dispid;
    // Further names are parameter names of the member: their position is their DISPID.
    HRESULT hr = S_OK;
    for (UINT n = 1; n < cNames; ++n) {
        std::string name = rgszNames[n] ? WideToUtf8(rgszNames[n]) : std::string();
        bool found = false;
        for (const EntryInfo& e : kIaxLumoraEntries) {
            if (e.dispid != dispid || e.kind != EntryKind::Method) continue;
            for (int p = 0; p < e.paramCount && !found; ++p)
                if (member_table_detail::EqualsIgnoreCase(e.params[p].name, name)) {
                    rgDispId[n] = p;
                    found = true;
                }
        }
        if (!found) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT TaxLumora::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                          VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    DISPPARAMS* params = pDispParams ? pDispParams : &none;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
    if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
    int index = SelectEntry(dispIdMember, wFlags);
    if (index < 0) return DISP_E_MEMBERNOTFOUND;
    const EntryInfo& entry = kIaxLumoraEntries[static_cast<std::size_t>(index)];

    const bool put =
        entry.kind == EntryKind::PropertyPut || entry.kind == EntryKind::PropertyPutRef;
    if (put) {
        if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
        if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTOPTIONAL;
    } else {
        if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
        if (params->cArgs > static_cast<UINT>(entry.paramCount) ||
            params->cArgs < static_cast<UINT>(entry.requiredParams()))
            return DISP_E_BADPARAMCOUNT;
    }
    if (pVarResult) VariantInit(pVarResult);

    bool called = false;
    HRESULT hr =
        kThunks[static_cast<std::size_t>(index)](this, entry, params, pVarResult, puArgErr, called);
    if (FAILED(hr) && called && pExcepInfo) {
        FillException(pExcepInfo, hr);
        return DISP_E_EXCEPTION;
    }
    return hr;
}
