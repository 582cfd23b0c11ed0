// Record descriptions of the type library's two records, for VT_RECORD variants.
#pragma once

#include "axlumora/cvaxLumora_TLB.h"

// Process-wide descriptions; the caller gets no reference of its own (AddRef to keep one).
IRecordInfo* FileInfoRecordInfo();
IRecordInfo* RectRecordInfo();

template <class T>
IRecordInfo* RecordInfoFor();
template <>
inline IRecordInfo* RecordInfoFor<TaxLumora_FileInfo>() {
    return FileInfoRecordInfo();
}
template <>
inline IRecordInfo* RecordInfoFor<TaxLumora_Rect>() {
    return RectRecordInfo();
}
