// VARIANT lifetime: what a variant owns (strings, interface references, arrays, records) and how
// it is released and duplicated. By-reference variants never own what they point to.
#include <cstring>
#include <new>
#include <utility>

#include "platform/automation/OleAuto.h"
#include "platform/automation/VariantInternal.h"

namespace automation_detail {

bool IsScalarType(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BOOL:
        case VT_ERROR: return true;
        default: return false;
    }
}

std::size_t ScalarSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1: return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL: return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR: return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE: return 8;
        default: return 0;
    }
}

bool IsValidVariantType(VARTYPE vt) {
    if (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) return false;
    const VARTYPE base = vt & VT_TYPEMASK;
    const bool byref = vt & VT_BYREF;
    const bool array = vt & VT_ARRAY;
    if (array) {
        // Arrays of variants, strings and interfaces are valid tags even though our arrays
        // only ever hold plain values.
        return IsScalarType(base) || base == VT_BSTR || base == VT_VARIANT || base == VT_DISPATCH ||
               base == VT_UNKNOWN || base == VT_RECORD;
    }
    if (IsScalarType(base) || base == VT_BSTR || base == VT_DISPATCH || base == VT_UNKNOWN ||
        base == VT_RECORD)
        return true;
    if (base == VT_EMPTY || base == VT_NULL) return !byref;
    if (base == VT_VARIANT || base == VT_DECIMAL) return byref;
    return false;
}

}  // namespace automation_detail

using namespace automation_detail;

namespace {

// Copies the owned contents of `src` (not by reference) into `out`, which is overwritten
// without being cleared. On failure `out` is VT_EMPTY.
HRESULT CopyOwned(VARIANT* out, const VARIANT* src) {
    VariantInit(out);
    switch (src->vt) {
        case VT_BSTR:
            if (src->bstrVal) {
                out->bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal),
                                                     SysStringByteLen(src->bstrVal));
                if (!out->bstrVal) return E_OUTOFMEMORY;
            }
            out->vt = VT_BSTR;
            return S_OK;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (src->punkVal) src->punkVal->AddRef();
            out->punkVal = src->punkVal;
            out->vt = src->vt;
            return S_OK;
        case VT_RECORD: {
            if (!src->pRecInfo) return E_INVALIDARG;
            void* copy = nullptr;
            if (src->pvRecord) {
                const HRESULT hr = src->pRecInfo->RecordCreateCopy(src->pvRecord, &copy);
                if (FAILED(hr)) return hr;
            }
            src->pRecInfo->AddRef();
            out->pvRecord = copy;
            out->pRecInfo = src->pRecInfo;
            out->vt = VT_RECORD;
            return S_OK;
        }
        default: break;
    }
    if (src->vt & VT_BYREF) {
        *out = *src;  // the pointer is copied; the pointee stays with its owner
        return S_OK;
    }
    if (src->vt & VT_ARRAY) {
        SAFEARRAY* copy = nullptr;
        if (src->parray) {
            const HRESULT hr = SafeArrayCopy(src->parray, &copy);
            if (FAILED(hr)) return hr;
        }
        out->parray = copy;
        out->vt = src->vt;
        return S_OK;
    }
    *out = *src;  // plain value, VT_EMPTY or VT_NULL
    return S_OK;
}

// Replaces *dest by `value`, which the caller hands over. When dest cannot be cleared (a locked
// array) `value` is released and dest keeps its contents.
HRESULT Install(VARIANT* dest, VARIANT& value) {
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&value);
        return hr;
    }
    *dest = value;
    return S_OK;
}

}  // namespace

namespace automation_detail {

HRESULT DereferenceCopy(VARIANT* out, const VARIANT* src) {
    VariantInit(out);
    if (!(src->vt & VT_BYREF)) return CopyOwned(out, src);
    const VARTYPE target = src->vt & ~VT_BYREF;
    if (target == VT_RECORD) {
        // A by-reference record has the same layout as a record: copy the record itself.
        VARIANT asValue = *src;
        asValue.vt = VT_RECORD;
        return CopyOwned(out, &asValue);
    }
    if (!src->byref) return E_INVALIDARG;
    if (target == VT_VARIANT) {
        const VARIANT* inner = src->pvarVal;
        // One level of indirection only, as on the desktop.
        if (inner->vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;
        return CopyOwned(out, inner);
    }
    if (target == VT_DECIMAL) return DISP_E_BADVARTYPE;
    VARIANT value;
    VariantInit(&value);
    if (target & VT_ARRAY) {
        value.vt = target;
        value.parray = *src->pparray;
    } else if (target == VT_BSTR) {
        value.vt = VT_BSTR;
        value.bstrVal = *src->pbstrVal;
    } else if (target == VT_DISPATCH || target == VT_UNKNOWN) {
        value.vt = target;
        value.punkVal = *src->ppunkVal;
    } else if (IsScalarType(target)) {
        // memcpy: the pointee may sit in a packed record at an unaligned address.
        std::memcpy(&value.llVal, src->byref, ScalarSize(target));
        value.vt = target;
    } else {
        return DISP_E_BADVARTYPE;
    }
    return CopyOwned(out, &value);
}

}  // namespace automation_detail

void VariantInit(VARIANT* pvarg) {
    if (!pvarg) return;
    std::memset(pvarg, 0, sizeof *pvarg);
    pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* pvarg) {
    if (!pvarg) return E_INVALIDARG;
    const VARTYPE vt = pvarg->vt;
    if (!IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) return hr;  // locked: the variant keeps its array
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
            if (pvarg->punkVal) pvarg->punkVal->Release();
        } else if (vt == VT_RECORD) {
            if (IRecordInfo* info = pvarg->pRecInfo) {
                if (pvarg->pvRecord) info->RecordDestroy(pvarg->pvRecord);
                info->Release();
            }
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc) {
    if (!pvargDest || !pvargSrc) return E_INVALIDARG;
    if (pvargDest == pvargSrc) return S_OK;
    if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    // Copy first, then clear: the source may be owned by the destination's contents.
    VARIANT copy;
    const HRESULT hr = CopyOwned(&copy, pvargSrc);
    if (FAILED(hr)) return hr;
    return Install(pvargDest, copy);
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANT* pvargSrc) {
    if (!pvarDest || !pvargSrc) return E_INVALIDARG;
    if (!IsValidVariantType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
    if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
    VARIANT copy;
    const HRESULT hr = DereferenceCopy(&copy, pvargSrc);
    if (FAILED(hr)) return hr;
    return Install(pvarDest, copy);
}

// ---- Variant ----------------------------------------------------------------------------------

namespace {

void CopyOrThrow(VARIANT* dest, const VARIANT* src) {
    if (VariantCopy(dest, src) == E_OUTOFMEMORY) throw std::bad_alloc();
}

}  // namespace

Variant::Variant(const Variant& other) : VARIANT() {
    VariantInit(this);
    CopyOrThrow(this, &other);
}

Variant::Variant(Variant&& other) noexcept : VARIANT(other) { VariantInit(&other); }

Variant& Variant::operator=(const Variant& other) {
    CopyOrThrow(this, &other);
    return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        VariantClear(this);
        *static_cast<VARIANT*>(this) = other;
        VariantInit(&other);
    }
    return *this;
}

VARIANT Variant::detach() {
    VARIANT contents = *this;
    VariantInit(this);
    return contents;
}

Variant Variant::I2(SHORT v) {
    Variant result;
    result.vt = VT_I2;
    result.iVal = v;
    return result;
}

Variant Variant::I4(LONG v) {
    Variant result;
    result.vt = VT_I4;
    result.lVal = v;
    return result;
}

Variant Variant::UI4(ULONG v) {
    Variant result;
    result.vt = VT_UI4;
    result.ulVal = v;
    return result;
}

Variant Variant::I8(LONGLONG v) {
    Variant result;
    result.vt = VT_I8;
    result.llVal = v;
    return result;
}

Variant Variant::UI8(ULONGLONG v) {
    Variant result;
    result.vt = VT_UI8;
    result.ullVal = v;
    return result;
}

Variant Variant::R4(FLOAT v) {
    Variant result;
    result.vt = VT_R4;
    result.fltVal = v;
    return result;
}

Variant Variant::R8(DOUBLE v) {
    Variant result;
    result.vt = VT_R8;
    result.dblVal = v;
    return result;
}

Variant Variant::Bool(bool v) {
    Variant result;
    result.vt = VT_BOOL;
    result.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    return result;
}

Variant Variant::String(std::string_view utf8) {
    Variant result;
    result.bstrVal = Utf8ToBstr(utf8);
    result.vt = VT_BSTR;
    return result;
}
