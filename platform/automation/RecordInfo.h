// A record type described by a static table of plain fields, so that the control's records can
// travel in VT_RECORD variants and be read field by field by late-bound callers.
//
//   constexpr RecordField kRectFields[] = {{u"Left", 0, VT_I4}, {u"Top", 4, VT_I4}, ...};
//   ComPtr<IRecordInfo> info;
//   RecordInfo::Create(u"TaxLumora_Rect", kRectGuid, 20, kRectFields, info.put());
//   VariantFromRecord(info.get(), &rect, &variant);
#pragma once

#include <atomic>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/OleAuto.h"

struct RecordField {
    std::u16string_view name;
    ULONG offset;  // bytes from the start of the record; need not be aligned
    VARTYPE vt;    // VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_I8, VT_UI8,
                   // VT_R4, VT_R8, VT_BOOL (2 bytes), VT_ERROR, VT_DATE
};

// Records hold plain values only, so init/clear are zero fills and copies are byte copies.
class RecordInfo final : public IRecordInfo {
public:
    // Validates the table (known field types, every field inside `size` bytes, unique names) and
    // hands out one reference. E_INVALIDARG for a bad table.
    static HRESULT Create(std::u16string_view name, const GUID& guid, ULONG size,
                          std::span<const RecordField> fields, IRecordInfo** ppRecInfo);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE RecordInit(void* pvNew) override;
    HRESULT STDMETHODCALLTYPE RecordClear(void* pvExisting) override;
    HRESULT STDMETHODCALLTYPE RecordCopy(void* pvExisting, void* pvNew) override;
    HRESULT STDMETHODCALLTYPE GetGuid(GUID* pguid) override;
    HRESULT STDMETHODCALLTYPE GetName(BSTR* pbstrName) override;
    HRESULT STDMETHODCALLTYPE GetSize(ULONG* pcbSize) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(ITypeInfo** ppTypeInfo) override;
    // Clears *pvarField (which must be initialised) and stores a copy of the field's value.
    HRESULT STDMETHODCALLTYPE GetField(void* pvData, LPCOLESTR szFieldName,
                                       VARIANT* pvarField) override;
    // Clears *pvarField and stores VT_BYREF|type pointing into the record; *ppvDataCArray gets
    // the same address. The address may be unaligned (packed records).
    HRESULT STDMETHODCALLTYPE GetFieldNoCopy(void* pvData, LPCOLESTR szFieldName,
                                             VARIANT* pvarField, void** ppvDataCArray) override;
    // Converts the value to the field's type (VariantChangeType rules) and stores it.
    HRESULT STDMETHODCALLTYPE PutField(ULONG wFlags, void* pvData, LPCOLESTR szFieldName,
                                       VARIANT* pvarField) override;
    HRESULT STDMETHODCALLTYPE PutFieldNoCopy(ULONG wFlags, void* pvData, LPCOLESTR szFieldName,
                                             VARIANT* pvarField) override;
    // With rgBstrNames null: *pcNames = number of fields. Otherwise fills up to *pcNames names in
    // table order and sets *pcNames to the number filled.
    HRESULT STDMETHODCALLTYPE GetFieldNames(ULONG* pcNames, BSTR* rgBstrNames) override;
    BOOL STDMETHODCALLTYPE IsMatchingType(IRecordInfo* pRecordInfo) override;
    // A zeroed record from the record heap, or null when memory is out.
    void* STDMETHODCALLTYPE RecordCreate() override;
    HRESULT STDMETHODCALLTYPE RecordCreateCopy(void* pvSource, void** ppvDest) override;
    HRESULT STDMETHODCALLTYPE RecordDestroy(void* pvRecord) override;

private:
    struct ConstructionKey {};  // only Create builds instances, always on the heap

public:
    RecordInfo(ConstructionKey, std::u16string_view name, const GUID& guid, ULONG size,
               std::span<const RecordField> fields);

private:
    struct Field {
        std::u16string name;
        ULONG offset;
        VARTYPE vt;
    };
    const Field* Find(LPCOLESTR name) const;

    std::atomic<ULONG> refs_{1};
    std::u16string name_;
    GUID guid_;
    ULONG size_;
    std::vector<Field> fields_;
};

// Byte size of a field of type vt, 0 for types a record field cannot have.
ULONG RecordFieldSize(VARTYPE vt);

// Fills *pvarOut (initialised; cleared first) with VT_RECORD holding a copy of the record at
// pvData, described by pRecInfo (one reference taken).
HRESULT VariantFromRecord(IRecordInfo* pRecInfo, const void* pvData, VARIANT* pvarOut);
