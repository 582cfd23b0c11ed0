// Record descriptions from static field tables. Field values are moved with memcpy because the
// control's records may be packed (fields at odd offsets).
#include "platform/automation/RecordInfo.h"
#include "platform/automation/VariantInternal.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

ULONG RecordFieldSize(VARTYPE vt) {
    return vt == VT_CY ? 0 : static_cast<ULONG>(automation_detail::ScalarSize(vt));
}

namespace {

bool TableIsValid(ULONG size, std::span<const RecordField> fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const RecordField& field = fields[i];
        const ULONG fieldSize = RecordFieldSize(field.vt);
        if (fieldSize == 0 || field.name.empty()) return false;
        if (static_cast<std::uint64_t>(field.offset) + fieldSize > size) return false;
        for (std::size_t j = 0; j < i; ++j)
            if (fields[j].name == field.name) return false;
    }
    return true;
}

std::size_t WideLength(LPCOLESTR text) {
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

}  // namespace

HRESULT RecordInfo::Create(std::u16string_view name, const GUID& guid, ULONG size,
                           std::span<const RecordField> fields, IRecordInfo** ppRecInfo) {
    if (!ppRecInfo) return E_INVALIDARG;
    *ppRecInfo = nullptr;
    if (!TableIsValid(size, fields)) return E_INVALIDARG;
    try {
        // Starts with the caller's reference; Release deletes it.
        *ppRecInfo =
            std::make_unique<RecordInfo>(ConstructionKey{}, name, guid, size, fields).release();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

RecordInfo::RecordInfo(ConstructionKey, std::u16string_view name, const GUID& guid, ULONG size,
                       std::span<const RecordField> fields)
    : name_(name), guid_(guid), size_(size) {
    fields_.reserve(fields.size());
    for (const RecordField& field : fields)
        fields_.push_back(Field{std::u16string(field.name), field.offset, field.vt});
}

HRESULT RecordInfo::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IRecordInfo) {
        *ppvObject = static_cast<IRecordInfo*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG RecordInfo::AddRef() { return ++refs_; }

ULONG RecordInfo::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT RecordInfo::RecordInit(void* pvNew) {
    if (!pvNew) return E_INVALIDARG;
    std::memset(pvNew, 0, size_);
    return S_OK;
}

HRESULT RecordInfo::RecordClear(void* pvExisting) {
    // Plain fields own nothing; clearing resets them like RecordInit.
    return RecordInit(pvExisting);
}

HRESULT RecordInfo::RecordCopy(void* pvExisting, void* pvNew) {
    if (!pvExisting || !pvNew) return E_INVALIDARG;
    if (pvExisting != pvNew) std::memmove(pvNew, pvExisting, size_);
    return S_OK;
}

HRESULT RecordInfo::GetGuid(GUID* pguid) {
    if (!pguid) return E_INVALIDARG;
    *pguid = guid_;
    return S_OK;
}

HRESULT RecordInfo::GetName(BSTR* pbstrName) {
    if (!pbstrName) return E_INVALIDARG;
    *pbstrName = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
    return *pbstrName ? S_OK : E_OUTOFMEMORY;
}

HRESULT RecordInfo::GetSize(ULONG* pcbSize) {
    if (!pcbSize) return E_INVALIDARG;
    *pcbSize = size_;
    return S_OK;
}

HRESULT RecordInfo::GetTypeInfo(ITypeInfo** ppTypeInfo) {
    if (ppTypeInfo) *ppTypeInfo = nullptr;
    return E_NOTIMPL;
}

const RecordInfo::Field* RecordInfo::Find(LPCOLESTR name) const {
    const std::u16string_view wanted(name, WideLength(name));
    for (const Field& field : fields_)
        if (field.name == wanted) return &field;
    return nullptr;
}

HRESULT RecordInfo::GetField(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField) {
    if (!pvData || !szFieldName || !pvarField) return E_INVALIDARG;
    const Field* field = Find(szFieldName);
    if (!field) return DISP_E_UNKNOWNNAME;
    const HRESULT hr = VariantClear(pvarField);
    if (FAILED(hr)) return hr;
    // Every scalar member of the variant's union starts at the union's first byte.
    std::memcpy(&pvarField->llVal, static_cast<const char*>(pvData) + field->offset,
                RecordFieldSize(field->vt));
    pvarField->vt = field->vt;
    return S_OK;
}

HRESULT RecordInfo::GetFieldNoCopy(void* pvData, LPCOLESTR szFieldName, VARIANT* pvarField,
                                   void** ppvDataCArray) {
    if (!pvData || !szFieldName || !pvarField || !ppvDataCArray) return E_INVALIDARG;
    *ppvDataCArray = nullptr;
    const Field* field = Find(szFieldName);
    if (!field) return DISP_E_UNKNOWNNAME;
    const HRESULT hr = VariantClear(pvarField);
    if (FAILED(hr)) return hr;
    void* address = static_cast<char*>(pvData) + field->offset;
    pvarField->vt = static_cast<VARTYPE>(field->vt | VT_BYREF);
    pvarField->byref = address;
    *ppvDataCArray = address;
    return S_OK;
}

HRESULT RecordInfo::PutField(ULONG /*wFlags*/, void* pvData, LPCOLESTR szFieldName,
                             VARIANT* pvarField) {
    if (!pvData || !szFieldName || !pvarField) return E_INVALIDARG;
    const Field* field = Find(szFieldName);
    if (!field) return DISP_E_UNKNOWNNAME;
    Variant converted;
    const HRESULT hr = VariantChangeType(&converted, pvarField, 0, field->vt);
    if (FAILED(hr)) return hr;
    std::memcpy(static_cast<char*>(pvData) + field->offset, &converted.llVal,
                RecordFieldSize(field->vt));
    return S_OK;
}

HRESULT RecordInfo::PutFieldNoCopy(ULONG wFlags, void* pvData, LPCOLESTR szFieldName,
                                   VARIANT* pvarField) {
    // Plain values have nothing to hand over, so "no copy" is the same as a copy.
    return PutField(wFlags, pvData, szFieldName, pvarField);
}

HRESULT RecordInfo::GetFieldNames(ULONG* pcNames, BSTR* rgBstrNames) {
    if (!pcNames) return E_INVALIDARG;
    const auto count = static_cast<ULONG>(fields_.size());
    if (!rgBstrNames) {
        *pcNames = count;
        return S_OK;
    }
    const ULONG wanted = *pcNames < count ? *pcNames : count;
    for (ULONG i = 0; i < wanted; ++i) {
        const std::u16string& name = fields_[i].name;
        rgBstrNames[i] = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
        if (!rgBstrNames[i]) {
            for (ULONG j = 0; j < i; ++j) {
                SysFreeString(rgBstrNames[j]);
                rgBstrNames[j] = nullptr;
            }
            *pcNames = 0;
            return E_OUTOFMEMORY;
        }
    }
    *pcNames = wanted;
    return S_OK;
}

BOOL RecordInfo::IsMatchingType(IRecordInfo* pRecordInfo) {
    if (!pRecordInfo) return 0;
    if (pRecordInfo == this) return 1;
    GUID other;
    if (FAILED(pRecordInfo->GetGuid(&other)) || !(other == guid_)) return 0;
    if (!(guid_ == GUID_NULL)) return 1;
    // Without identifiers, the names decide.
    BStr otherName;
    if (FAILED(pRecordInfo->GetName(otherName.put()))) return 0;
    return std::u16string_view(otherName.get(), otherName.length()) == name_ ? 1 : 0;
}

// RecordCreate and RecordDestroy are the record heap's only allocation and release.
void* RecordInfo::RecordCreate() { return std::calloc(1, size_ ? size_ : 1); }

HRESULT RecordInfo::RecordCreateCopy(void* pvSource, void** ppvDest) {
    if (!ppvDest) return E_INVALIDARG;
    *ppvDest = nullptr;
    if (!pvSource) return E_INVALIDARG;
    void* copy = RecordCreate();
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy, pvSource, size_);
    *ppvDest = copy;
    return S_OK;
}

HRESULT RecordInfo::RecordDestroy(void* pvRecord) {
    if (!pvRecord) return S_OK;
    std::free(pvRecord);
    return S_OK;
}

HRESULT VariantFromRecord(IRecordInfo* pRecInfo, const void* pvData, VARIANT* pvarOut) {
    if (!pRecInfo || !pvData || !pvarOut) return E_INVALIDARG;
    void* copy = nullptr;
    HRESULT hr = pRecInfo->RecordCreateCopy(const_cast<void*>(pvData), &copy);
    if (FAILED(hr)) return hr;
    hr = VariantClear(pvarOut);
    if (FAILED(hr)) {
        pRecInfo->RecordDestroy(copy);
        return hr;
    }
    pRecInfo->AddRef();
    pvarOut->vt = VT_RECORD;
    pvarOut->pvRecord = copy;
    pvarOut->pRecInfo = pRecInfo;
    return S_OK;
}
