#include "control/Records.h"

#include "control/RecordFields.h"

namespace {

// Created once and kept for the life of the process: variants handed to hosts may outlive
// every control.
IRecordInfo* MakeRecordInfo(std::u16string_view name, const GUID& guid, ULONG size,
                            std::span<const RecordField> fields) {
    IRecordInfo* info = nullptr;
    RecordInfo::Create(name, guid, size, fields, &info);
    return info;
}

}  // namespace

IRecordInfo* FileInfoRecordInfo() {
    static IRecordInfo* const info = MakeRecordInfo(u"TaxLumora_FileInfo", GUID_TaxLumora_FileInfo,
                                                    sizeof(TaxLumora_FileInfo), kFileInfoFields);
    return info;
}

IRecordInfo* RectRecordInfo() {
    static IRecordInfo* const info =
        MakeRecordInfo(u"TaxLumora_Rect", GUID_TaxLumora_Rect, sizeof(TaxLumora_Rect), kRectFields);
    return info;
}
