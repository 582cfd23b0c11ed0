// Automation strings, variants and safe arrays, named and shaped as on the desktop platform.
//
// BSTR: UTF-16 text preceded by a 32-bit byte length, terminated by a 16-bit zero; the pointer
// addresses the first character. Receivers own what they are handed, as usual.
#pragma once

#include <string>
#include <string_view>

#include "axlumora/Unknown.h"

// ---- BSTR -------------------------------------------------------------------------------------
BSTR SysAllocString(const OLECHAR* psz);
BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
BSTR SysAllocStringByteLen(const char* psz, UINT len);
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

// Text conversion: the "system 8-bit code page" is UTF-8 on this platform. Unpaired surrogates
// become U+FFFD; invalid UTF-8 bytes become U+FFFD.
std::string WideToUtf8(std::u16string_view text);
std::u16string Utf8ToWide(std::string_view text);
std::string BstrToUtf8(BSTR bstr);       // null reads as empty
BSTR Utf8ToBstr(std::string_view text);  // never null

// ---- VARIANT ----------------------------------------------------------------------------------
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_RECORD = 36,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct SAFEARRAY;
struct IRecordInfo;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        struct {
            void* pvRecord;
            IRecordInfo* pRecInfo;
        };
    };
};

// VariantChangeType flags.
constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;
constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;

void VariantInit(VARIANT* pvarg);
HRESULT VariantClear(VARIANT* pvarg);
HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);
HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANT* pvargSrc);
// Conversions among the scalar types, strings and Booleans as the platform makes them: numbers
// out of range give DISP_E_OVERFLOW, text that is no number DISP_E_TYPEMISMATCH; floating
// point to integer rounds half to even; Booleans read as -1/0 unless VARIANT_ALPHABOOL.
HRESULT VariantChangeType(VARIANT* pvargDest, const VARIANT* pvarSrc, USHORT wFlags, VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANT* pvargDest, const VARIANT* pvarSrc, LCID lcid, USHORT wFlags,
                            VARTYPE vt);

// ---- SAFEARRAY --------------------------------------------------------------------------------
struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

constexpr USHORT FADF_AUTO = 0x0001;
constexpr USHORT FADF_STATIC = 0x0002;
constexpr USHORT FADF_FIXEDSIZE = 0x0010;
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

// Arrays of one dimension whose elements are plain values (VT_UI1, VT_I1, VT_I2, VT_UI2, VT_I4,
// VT_UI4, VT_R4, VT_R8, VT_I8, VT_UI8, VT_BOOL); other element types give null / E_INVALIDARG.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);  // DISP_E_ARRAYISLOCKED while locked
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew);  // keeps the leading data
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

// ---- Records ----------------------------------------------------------------------------------
// Describes a record type so that a VT_RECORD variant can be copied, cleared and read by field.
struct IRecordInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RecordInit(void* pvNew) = 0;
    virtual HRESULT STDMETHODCALLTYPE RecordClear(void* pvExisting) = 0;
    virtual HRESULT STDMETHODCALLTYPE RecordCopy(void* pvExisting, void* pvNew) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGuid(GUID* pguid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* pbstrName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSize(ULONG* pcbSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(ITypeInfo** ppTypeInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetField(void* pvData, LPCOLESTR szFieldName,
                                               VARIANT* pvarField) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldNoCopy(void* pvData, LPCOLESTR szFieldName,
                                                     VARIANT* pvarField, void** ppvDataCArray) = 0;
    virtual HRESULT STDMETHODCALLTYPE PutField(ULONG wFlags, void* pvData, LPCOLESTR szFieldName,
                                               VARIANT* pvarField) = 0;
    virtual HRESULT STDMETHODCALLTYPE PutFieldNoCopy(ULONG wFlags, void* pvData,
                                                     LPCOLESTR szFieldName, VARIANT* pvarField) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldNames(ULONG* pcNames, BSTR* rgBstrNames) = 0;
    virtual BOOL STDMETHODCALLTYPE IsMatchingType(IRecordInfo* pRecordInfo) = 0;
    virtual void* STDMETHODCALLTYPE RecordCreate() = 0;
    virtual HRESULT STDMETHODCALLTYPE RecordCreateCopy(void* pvSource, void** ppvDest) = 0;
    virtual HRESULT STDMETHODCALLTYPE RecordDestroy(void* pvRecord) = 0;

protected:
    ~IRecordInfo() = default;
};

constexpr IID IID_IRecordInfo{0x0000002F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// ---- RAII helpers -----------------------------------------------------------------------------
// Owns one BSTR.
class BStr {
public:
    BStr() = default;
    explicit BStr(std::u16string_view text);
    static BStr FromUtf8(std::string_view text);
    static BStr Attach(BSTR owned);
    BStr(const BStr& other);
    BStr(BStr&& other) noexcept;
    BStr& operator=(BStr other) noexcept;
    ~BStr();
    BSTR get() const { return bstr_; }
    BSTR* put();  // frees what is held; for out-parameters
    BSTR detach();
    UINT length() const { return SysStringLen(bstr_); }
    std::string utf8() const { return BstrToUtf8(bstr_); }

private:
    BSTR bstr_ = nullptr;
};

// Owns one VARIANT; clears it on destruction.
class Variant : public VARIANT {
public:
    Variant() { VariantInit(this); }
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    ~Variant() { VariantClear(this); }
    void clear() { VariantClear(this); }
    VARIANT detach();  // hands over the contents; leaves this VT_EMPTY

    static Variant I2(SHORT v);
    static Variant I4(LONG v);
    static Variant UI4(ULONG v);
    static Variant I8(LONGLONG v);
    static Variant UI8(ULONGLONG v);
    static Variant R4(FLOAT v);
    static Variant R8(DOUBLE v);
    static Variant Bool(bool v);
    static Variant String(std::string_view utf8);
};

// Locks a SAFEARRAY's data for the scope (SafeArrayAccessData / SafeArrayUnaccessData).
class SafeArrayAccess {
public:
    explicit SafeArrayAccess(SAFEARRAY* psa);
    ~SafeArrayAccess();
    SafeArrayAccess(const SafeArrayAccess&) = delete;
    SafeArrayAccess& operator=(const SafeArrayAccess&) = delete;
    bool ok() const { return data_ != nullptr; }
    void* data() const { return data_; }

private:
    SAFEARRAY* psa_;
    void* data_ = nullptr;
};
