// VariantChangeType: coercion among the scalar types, strings and Booleans.
//
// Every numeric source is first read into a Number (an exact integer as sign + magnitude, or a
// double), and every numeric target is written from one, so each pair of types needs no code
// of its own. Formatting and parsing ignore the locale: decimal point '.', no digit grouping.
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/automation/OleAuto.h"
#include "platform/automation/VariantInternal.h"

using namespace automation_detail;

namespace {

constexpr IID IID_NULL = GUID_NULL;
// A value property may itself answer an object; stop following after this many.
constexpr int kMaxValuePropertyDepth = 8;

struct Number {
    bool isInteger = true;
    bool negative = false;  // integers: sign of magnitude (never set for zero)
    std::uint64_t magnitude = 0;
    double real = 0;      // non-integers
    bool single = false;  // came from VT_R4: format with float precision

    static Number Signed(std::int64_t v) {
        Number n;
        n.negative = v < 0;
        // Unsigned negation: well defined for INT64_MIN too.
        n.magnitude =
            n.negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        return n;
    }
    static Number Unsigned(std::uint64_t v) {
        Number n;
        n.magnitude = v;
        return n;
    }
    static Number Real(double v, bool single = false) {
        Number n;
        n.isInteger = false;
        n.real = v;
        n.single = single;
        return n;
    }
    double AsDouble() const {
        if (!isInteger) return real;
        const auto m = static_cast<double>(magnitude);
        return negative ? -m : m;
    }
    bool IsZero() const { return isInteger ? magnitude == 0 : real == 0; }
};

// ---- integers -----------------------------------------------------------------------------------

struct IntegerLimits {
    std::uint64_t negative;  // largest magnitude below zero
    std::uint64_t positive;
};

bool IntegerTarget(VARTYPE vt, IntegerLimits& limits) {
    constexpr std::uint64_t kU64Max = std::numeric_limits<std::uint64_t>::max();
    switch (vt) {
        case VT_I1: limits = {128, 127}; return true;
        case VT_UI1: limits = {0, 255}; return true;
        case VT_I2: limits = {32768, 32767}; return true;
        case VT_UI2: limits = {0, 65535}; return true;
        case VT_I4:
        case VT_INT: limits = {0x80000000ull, 0x7FFFFFFFull}; return true;
        case VT_UI4:
        case VT_UINT: limits = {0, 0xFFFFFFFFull}; return true;
        case VT_I8: limits = {0x8000000000000000ull, 0x7FFFFFFFFFFFFFFFull}; return true;
        case VT_UI8: limits = {0, kU64Max}; return true;
        default: return false;
    }
}

// Round half to even ("banker's rounding"), independent of the FPU rounding mode.
double RoundHalfEven(double v) {
    const double below = std::floor(v);
    const double fraction = v - below;  // exact: below and v share the exponent range
    if (fraction > 0.5) return below + 1;
    if (fraction < 0.5) return below;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

HRESULT ToInteger(const Number& n, VARTYPE vt, VARIANT* out) {
    IntegerLimits limits{};
    IntegerTarget(vt, limits);
    bool negative = n.negative;
    std::uint64_t magnitude = n.magnitude;
    if (!n.isInteger) {
        if (std::isnan(n.real)) return DISP_E_OVERFLOW;
        const double rounded = RoundHalfEven(n.real);
        constexpr double kTwoTo64 = 18446744073709551616.0;
        if (std::fabs(rounded) >= kTwoTo64) return DISP_E_OVERFLOW;
        negative = rounded < 0;
        magnitude = static_cast<std::uint64_t>(std::fabs(rounded));
    }
    if (magnitude > (negative ? limits.negative : limits.positive)) return DISP_E_OVERFLOW;
    // Two's complement bits of the value; the member assignment below keeps the low bits.
    const std::uint64_t bits = negative ? 0 - magnitude : magnitude;
    switch (vt) {
        case VT_I1: out->cVal = static_cast<CHAR>(static_cast<std::int8_t>(bits)); break;
        case VT_UI1: out->bVal = static_cast<BYTE>(bits); break;
        case VT_I2: out->iVal = static_cast<SHORT>(bits); break;
        case VT_UI2: out->uiVal = static_cast<USHORT>(bits); break;
        case VT_I4: out->lVal = static_cast<LONG>(bits); break;
        case VT_INT: out->intVal = static_cast<INT>(bits); break;
        case VT_UI4: out->ulVal = static_cast<ULONG>(bits); break;
        case VT_UINT: out->uintVal = static_cast<UINT>(bits); break;
        case VT_I8: out->llVal = static_cast<LONGLONG>(bits); break;
        case VT_UI8: out->ullVal = bits; break;
        default: return DISP_E_BADVARTYPE;
    }
    out->vt = vt;
    return S_OK;
}

// ---- text ---------------------------------------------------------------------------------------

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "&H1F" (hexadecimal) and "&O17" (octal), as integer literals are written in automation
// languages. The value is the unsigned magnitude of the digits.
HRESULT ParseRadixLiteral(std::string_view text, Number& out) {
    const char kind = text[1];
    const int base = (kind == 'H' || kind == 'h') ? 16 : (kind == 'O' || kind == 'o') ? 8 : 0;
    if (base == 0) return DISP_E_TYPEMISMATCH;
    const std::string_view digits = text.substr(2);
    if (digits.empty()) return DISP_E_TYPEMISMATCH;
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (end != digits.data() + digits.size()) return DISP_E_TYPEMISMATCH;
    if (error == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    if (error != std::errc()) return DISP_E_TYPEMISMATCH;
    out = Number::Unsigned(value);
    return S_OK;
}

// Decimal number: [sign] digits [. digits] [e|E [sign] digits], surrounding blanks allowed.
// Whole numbers stay exact integers; the rest become doubles.
HRESULT ParseNumber(BSTR bstr, Number& out) {
    const std::u16string_view wide =
        Trim(std::u16string_view(bstr ? bstr : u"", SysStringLen(bstr)));
    if (wide.empty()) return DISP_E_TYPEMISMATCH;
    std::string text;
    text.reserve(wide.size());
    for (char16_t c : wide) {
        if (c > 0x7F) return DISP_E_TYPEMISMATCH;
        text.push_back(static_cast<char>(c));
    }
    if (text.size() >= 2 && text[0] == '&') return ParseRadixLiteral(text, out);

    std::size_t pos = 0;
    bool negative = false;
    if (text[pos] == '+' || text[pos] == '-') negative = text[pos++] == '-';
    const std::size_t mantissaStart = pos;
    std::size_t integerDigits = 0, fractionDigits = 0;
    // Decimal exponent of the leading significant digit, to tell overflow from underflow.
    long leadingExponent = 0;
    bool seenSignificant = false;
    while (pos < text.size() && IsDigit(text[pos])) {
        if (text[pos] != '0' && !seenSignificant) seenSignificant = true;
        if (seenSignificant) ++leadingExponent;
        ++integerDigits;
        ++pos;
    }
    bool isInteger = true;
    if (pos < text.size() && text[pos] == '.') {
        isInteger = false;
        ++pos;
        while (pos < text.size() && IsDigit(text[pos])) {
            if (!seenSignificant) {
                if (text[pos] != '0') seenSignificant = true;
                else --leadingExponent;
            }
            ++fractionDigits;
            ++pos;
        }
    }
    if (integerDigits + fractionDigits == 0) return DISP_E_TYPEMISMATCH;
    const std::size_t mantissaEnd = pos;
    long exponent = 0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        isInteger = false;
        ++pos;
        bool exponentNegative = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
            exponentNegative = text[pos++] == '-';
        if (pos >= text.size() || !IsDigit(text[pos])) return DISP_E_TYPEMISMATCH;
        while (pos < text.size() && IsDigit(text[pos])) {
            if (exponent < 100000) exponent = exponent * 10 + (text[pos] - '0');
            ++pos;
        }
        if (exponentNegative) exponent = -exponent;
    }
    if (pos != text.size()) return DISP_E_TYPEMISMATCH;

    if (isInteger) {
        std::uint64_t magnitude = 0;
        const auto [end, error] =
            std::from_chars(text.data() + mantissaStart, text.data() + mantissaEnd, magnitude);
        if (error == std::errc() && end == text.data() + mantissaEnd) {
            out = Number::Unsigned(magnitude);
            out.negative = negative && magnitude != 0;
            return S_OK;
        }
        // Too many digits for 64 bits: continue as a double (which every target range-checks).
    }
    double value = 0;
    // from_chars takes no '+'; the sign was consumed above and is applied afterwards.
    const auto [end, error] =
        std::from_chars(text.data() + mantissaStart, text.data() + text.size(), value);
    if (end != text.data() + text.size()) return DISP_E_TYPEMISMATCH;
    if (error == std::errc::result_out_of_range) {
        if (seenSignificant && leadingExponent + exponent > 0) return DISP_E_OVERFLOW;
        value = 0;  // underflow reads as zero
    } else if (error != std::errc()) {
        return DISP_E_TYPEMISMATCH;
    }
    out = Number::Real(negative ? -value : value);
    return S_OK;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != word[i]) return false;
    }
    return true;
}

template <class T>
std::string Format(T value) {
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (error != std::errc()) return {};
    return std::string(buffer.data(), end);
}

// Integers in decimal; reals in the shortest form that reads back to the same value, with the
// exponent written "E+20" as the desktop writes it.
std::string FormatNumber(const Number& n) {
    if (n.isInteger) return (n.negative ? "-" : "") + Format(n.magnitude);
    if (n.real == 0) return "0";  // also for -0
    std::string text = n.single ? Format(static_cast<float>(n.real)) : Format(n.real);
    for (char& c : text)
        if (c == 'e') c = 'E';
    return text;
}

HRESULT StoreString(std::string_view utf8, VARIANT* out) {
    const std::u16string wide = Utf8ToWide(utf8);
    out->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!out->bstrVal) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    return S_OK;
}

// ---- the conversion -----------------------------------------------------------------------------

HRESULT ReadNumber(const VARIANT* src, Number& n) {
    switch (src->vt) {
        case VT_EMPTY: n = Number::Unsigned(0); return S_OK;
        case VT_I1: n = Number::Signed(static_cast<std::int8_t>(src->cVal)); return S_OK;
        case VT_UI1: n = Number::Unsigned(src->bVal); return S_OK;
        case VT_I2: n = Number::Signed(src->iVal); return S_OK;
        case VT_UI2: n = Number::Unsigned(src->uiVal); return S_OK;
        case VT_I4: n = Number::Signed(src->lVal); return S_OK;
        case VT_INT: n = Number::Signed(src->intVal); return S_OK;
        case VT_UI4: n = Number::Unsigned(src->ulVal); return S_OK;
        case VT_UINT: n = Number::Unsigned(src->uintVal); return S_OK;
        case VT_I8: n = Number::Signed(src->llVal); return S_OK;
        case VT_UI8: n = Number::Unsigned(src->ullVal); return S_OK;
        case VT_R4: n = Number::Real(src->fltVal, true); return S_OK;
        case VT_R8: n = Number::Real(src->dblVal); return S_OK;
        case VT_DATE: n = Number::Real(src->date); return S_OK;
        case VT_BOOL: n = Number::Signed(src->boolVal); return S_OK;
        case VT_BSTR: return ParseNumber(src->bstrVal, n);
        default: return DISP_E_TYPEMISMATCH;
    }
}

HRESULT WriteNumber(const Number& n, VARTYPE vt, VARIANT* out) {
    IntegerLimits unused{};
    if (IntegerTarget(vt, unused)) return ToInteger(n, vt, out);
    switch (vt) {
        case VT_R8:
        case VT_DATE:
            out->dblVal = n.AsDouble();
            out->vt = vt;
            return S_OK;
        case VT_R4: {
            const double v = n.AsDouble();
            if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
                return DISP_E_OVERFLOW;
            out->fltVal = static_cast<float>(v);
            out->vt = VT_R4;
            return S_OK;
        }
        case VT_BOOL:
            out->boolVal = n.IsZero() ? VARIANT_FALSE : VARIANT_TRUE;
            out->vt = VT_BOOL;
            return S_OK;
        case VT_BSTR: return StoreString(FormatNumber(n), out);
        default: return DISP_E_TYPEMISMATCH;
    }
}

bool IsSupportedTarget(VARTYPE vt) {
    if (vt & (VT_ARRAY | VT_BYREF)) return IsValidVariantType(vt);
    switch (vt) {
        case VT_CY:  // currency and decimal are not implemented on this platform
        case VT_DECIMAL: return false;
        case VT_EMPTY:
        case VT_NULL:
        case VT_VARIANT:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_RECORD: return true;
        default: return IsScalarType(vt);
    }
}

HRESULT Convert(VARIANT* out, const VARIANT* src, LCID lcid, USHORT flags, VARTYPE vt, int depth);

// An object converts through its value property (DISPID_VALUE), as late-bound callers expect.
HRESULT ConvertObject(VARIANT* out, const VARIANT* src, LCID lcid, USHORT flags, VARTYPE vt,
                      int depth) {
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        if (!src->punkVal) {  // a null object stays null whichever interface is asked for
            out->punkVal = nullptr;
            out->vt = vt;
            return S_OK;
        }
        void* converted = nullptr;
        if (FAILED(src->punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                                &converted)))
            return DISP_E_TYPEMISMATCH;
        out->punkVal = static_cast<IUnknown*>(converted);
        out->vt = vt;
        return S_OK;
    }
    if ((flags & VARIANT_NOVALUEPROP) || !src->punkVal || depth >= kMaxValuePropertyDepth)
        return DISP_E_TYPEMISMATCH;
    ComPtr<IDispatch> dispatch;
    if (src->vt == VT_DISPATCH) {
        dispatch = ComPtr<IDispatch>(src->pdispVal);
    } else if (FAILED(src->punkVal->QueryInterface(IID_IDispatch, dispatch.put_void()))) {
        return DISP_E_TYPEMISMATCH;
    }
    DISPPARAMS noArguments{nullptr, nullptr, 0, 0};
    EXCEPINFO exception{};
    UINT argumentError = 0;
    Variant value;
    HRESULT hr = dispatch->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &noArguments,
                                  &value, &exception, &argumentError);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr)) return hr == DISP_E_MEMBERNOTFOUND ? DISP_E_TYPEMISMATCH : hr;
    VARIANT direct;
    hr = DereferenceCopy(&direct, &value);
    if (FAILED(hr)) return hr;
    hr = Convert(out, &direct, lcid, flags, vt, depth + 1);
    VariantClear(&direct);
    return hr;
}

// `src` is not by reference; `out` is VT_EMPTY and receives the result.
HRESULT Convert(VARIANT* out, const VARIANT* src, LCID lcid, USHORT flags, VARTYPE vt, int depth) {
    if (vt == src->vt || vt == VT_VARIANT) return VariantCopy(out, src);
    if ((vt & (VT_ARRAY | VT_BYREF)) || (src->vt & VT_ARRAY) || vt == VT_RECORD ||
        src->vt == VT_RECORD)
        return DISP_E_TYPEMISMATCH;
    if (src->vt == VT_CY || src->vt == VT_DECIMAL) return DISP_E_BADVARTYPE;

    if (src->vt == VT_NULL) {
        if (vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
        out->vt = VT_EMPTY;
        return S_OK;
    }
    if (vt == VT_EMPTY || vt == VT_NULL) {
        if (src->vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
        out->vt = vt;
        return S_OK;
    }
    if (src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN)
        return ConvertObject(out, src, lcid, flags, vt, depth);
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        if (src->vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
        out->punkVal = nullptr;
        out->vt = vt;
        return S_OK;
    }
    // An error code is a value of its own: it reads only as the 32-bit code it carries.
    if (src->vt == VT_ERROR) {
        if (vt != VT_I4) return DISP_E_TYPEMISMATCH;
        out->lVal = src->scode;
        out->vt = VT_I4;
        return S_OK;
    }
    if (vt == VT_ERROR) return DISP_E_TYPEMISMATCH;

    if (src->vt == VT_BOOL && vt == VT_BSTR && (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))) {
        return StoreString(src->boolVal ? "True" : "False", out);
    }
    if (src->vt == VT_BSTR && vt == VT_BOOL) {
        const std::u16string_view text = Trim(
            std::u16string_view(src->bstrVal ? src->bstrVal : u"", SysStringLen(src->bstrVal)));
        if (EqualsIgnoringCase(text, u"true") || EqualsIgnoringCase(text, u"false")) {
            out->boolVal = (text.size() == 4) ? VARIANT_TRUE : VARIANT_FALSE;
            out->vt = VT_BOOL;
            return S_OK;
        }
    }
    if (src->vt == VT_EMPTY && vt == VT_BSTR) {
        out->bstrVal = SysAllocStringLen(nullptr, 0);
        if (!out->bstrVal) return E_OUTOFMEMORY;
        out->vt = VT_BSTR;
        return S_OK;
    }
    Number n;
    const HRESULT hr = ReadNumber(src, n);
    if (FAILED(hr)) return hr;
    return WriteNumber(n, vt, out);
}

}  // namespace

HRESULT VariantChangeTypeEx(VARIANT* pvargDest, const VARIANT* pvarSrc, LCID lcid, USHORT wFlags,
                            VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (!IsValidVariantType(pvarSrc->vt)) return DISP_E_BADVARTYPE;
    if (!IsSupportedTarget(vt)) return DISP_E_BADVARTYPE;

    // Work on an owned, dereferenced copy so that the destination may be the source.
    // A by-reference target of the same type keeps the reference; anything else reads through it.
    VARIANT source;
    VariantInit(&source);
    HRESULT hr =
        vt == pvarSrc->vt ? VariantCopy(&source, pvarSrc) : DereferenceCopy(&source, pvarSrc);
    if (FAILED(hr)) return hr;
    VARIANT result;
    VariantInit(&result);
    hr = Convert(&result, &source, lcid, wFlags, vt, 0);
    VariantClear(&source);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* pvargDest, const VARIANT* pvarSrc, USHORT wFlags, VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
