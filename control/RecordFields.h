// The fields of the type library's records in their declared layouts, for VT_RECORD variants
// (the control's record descriptions and hosts that build records).
#pragma once

#include <cstddef>

#include "axlumora/cvaxLumora_TLB.h"
#include "platform/automation/RecordInfo.h"

inline constexpr RecordField kFileInfoFields[] = {
    {u"SizeDisk", offsetof(TaxLumora_FileInfo, SizeDisk), VT_I4},
    {u"SizeMem", offsetof(TaxLumora_FileInfo, SizeMem), VT_I4},
    {u"Layers", offsetof(TaxLumora_FileInfo, Layers), VT_I2},
    {u"XRes", offsetof(TaxLumora_FileInfo, XRes), VT_I4},
    {u"YRes", offsetof(TaxLumora_FileInfo, YRes), VT_I4},
    {u"TotalPages", offsetof(TaxLumora_FileInfo, TotalPages), VT_I4},
    {u"Page", offsetof(TaxLumora_FileInfo, Page), VT_I4},
    {u"Format", offsetof(TaxLumora_FileInfo, Format), VT_I2},
    {u"Bits", offsetof(TaxLumora_FileInfo, Bits), VT_I2},
    {u"Height", offsetof(TaxLumora_FileInfo, Height), VT_R4},
    {u"Width", offsetof(TaxLumora_FileInfo, Width), VT_R4},
};

inline constexpr RecordField kRectFields[] = {
    {u"Left", offsetof(TaxLumora_Rect, Left), VT_I4},
    {u"Top", offsetof(TaxLumora_Rect, Top), VT_I4},
    {u"Right", offsetof(TaxLumora_Rect, Right), VT_I4},
    {u"Bottom", offsetof(TaxLumora_Rect, Bottom), VT_I4},
    {u"bEmpty", offsetof(TaxLumora_Rect, bEmpty), VT_BOOL},
};
