// Records described by field tables, and VT_RECORD variants built on them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/automation/RecordInfo.h"

namespace {

constexpr GUID kSampleGuid{0x0BADF00D, 0x0001, 0x0002, {1, 1, 2, 3, 5, 8, 13, 21}};

// A 24-byte record with a packed (unaligned) 32-bit field at offset 10.
constexpr RecordField kSampleFields[] = {
    {u"Count", 0, VT_I4},      {u"Flags", 4, VT_UI4}, {u"Kind", 8, VT_I2},   {u"Offset", 10, VT_I4},
    {u"Enabled", 14, VT_BOOL}, {u"Scale", 16, VT_R4}, {u"Tiny", 20, VT_UI1},
};
constexpr ULONG kSampleSize = 24;

struct Sample {
    unsigned char bytes[kSampleSize] = {};
    template <class T>
    void Put(std::size_t offset, T value) {
        std::memcpy(bytes + offset, &value, sizeof value);
    }
};

ComPtr<IRecordInfo> MakeSampleInfo() {
    ComPtr<IRecordInfo> info;
    EXPECT_EQ(RecordInfo::Create(u"Sample", kSampleGuid, kSampleSize, kSampleFields, info.put()),
              S_OK);
    return info;
}

Sample MakeSample() {
    Sample sample;
    sample.Put<LONG>(0, -7);
    sample.Put<ULONG>(4, 0xF0000001u);
    sample.Put<SHORT>(8, 300);
    sample.Put<LONG>(10, 123456789);
    sample.Put<VARIANT_BOOL>(14, VARIANT_TRUE);
    sample.Put<FLOAT>(16, 0.25f);
    sample.Put<BYTE>(20, 200);
    return sample;
}

ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

TEST(AutomationRecordInfo, BadTablesAreRefused) {
    ComPtr<IRecordInfo> info;
    const RecordField outside[] = {{u"Late", 22, VT_I4}};
    EXPECT_EQ(RecordInfo::Create(u"R", GUID_NULL, 24, outside, info.put()), E_INVALIDARG);
    const RecordField badType[] = {{u"Text", 0, VT_BSTR}};
    EXPECT_EQ(RecordInfo::Create(u"R", GUID_NULL, 24, badType, info.put()), E_INVALIDARG);
    const RecordField twice[] = {{u"A", 0, VT_I4}, {u"A", 4, VT_I4}};
    EXPECT_EQ(RecordInfo::Create(u"R", GUID_NULL, 24, twice, info.put()), E_INVALIDARG);
    EXPECT_FALSE(info);
}

TEST(AutomationRecordInfo, DescribesItself) {
    ComPtr<IRecordInfo> info = MakeSampleInfo();
    ASSERT_TRUE(info);
    ULONG size = 0;
    ASSERT_EQ(info->GetSize(&size), S_OK);
    EXPECT_EQ(size, kSampleSize);
    GUID guid{};
    ASSERT_EQ(info->GetGuid(&guid), S_OK);
    EXPECT_TRUE(guid == kSampleGuid);
    BStr name;
    ASSERT_EQ(info->GetName(name.put()), S_OK);
    EXPECT_EQ(name.utf8(), "Sample");

    ULONG count = 0;
    ASSERT_EQ(info->GetFieldNames(&count, nullptr), S_OK);
    ASSERT_EQ(count, std::size(kSampleFields));
    std::vector<BSTR> names(count);
    ASSERT_EQ(info->GetFieldNames(&count, names.data()), S_OK);
    for (ULONG i = 0; i < count; ++i) {
        EXPECT_EQ(std::u16string(names[i], SysStringLen(names[i])), kSampleFields[i].name);
        SysFreeString(names[i]);
    }
    count = 2;  // a short buffer gets the first names only
    ASSERT_EQ(info->GetFieldNames(&count, names.data()), S_OK);
    EXPECT_EQ(count, 2u);
    SysFreeString(names[0]);
    SysFreeString(names[1]);

    EXPECT_TRUE(info->IsMatchingType(info.get()));
    ComPtr<IRecordInfo> sameType = MakeSampleInfo();
    EXPECT_TRUE(info->IsMatchingType(sameType.get()));
    ComPtr<IRecordInfo> otherType;
    ASSERT_EQ(RecordInfo::Create(u"Other", GUID_NULL, 4, {}, otherType.put()), S_OK);
    EXPECT_FALSE(info->IsMatchingType(otherType.get()));
}

TEST(AutomationRecordInfo, FieldsReadWithTheirTypesAtAnyOffset) {
    ComPtr<IRecordInfo> info = MakeSampleInfo();
    Sample sample = MakeSample();
    Variant field;
    ASSERT_EQ(info->GetField(sample.bytes, u"Count", &field), S_OK);
    EXPECT_EQ(field.vt, VT_I4);
    EXPECT_EQ(field.lVal, -7);
    ASSERT_EQ(info->GetField(sample.bytes, u"Flags", &field), S_OK);
    EXPECT_EQ(field.vt, VT_UI4);
    EXPECT_EQ(field.ulVal, 0xF0000001u);
    ASSERT_EQ(info->GetField(sample.bytes, u"Kind", &field), S_OK);
    EXPECT_EQ(field.vt, VT_I2);
    EXPECT_EQ(field.iVal, 300);
    ASSERT_EQ(info->GetField(sample.bytes, u"Offset", &field), S_OK);
    EXPECT_EQ(field.lVal, 123456789);
    ASSERT_EQ(info->GetField(sample.bytes, u"Enabled", &field), S_OK);
    EXPECT_EQ(field.vt, VT_BOOL);
    EXPECT_EQ(field.boolVal, VARIANT_TRUE);
    ASSERT_EQ(info->GetField(sample.bytes, u"Scale", &field), S_OK);
    EXPECT_EQ(field.vt, VT_R4);
    EXPECT_EQ(field.fltVal, 0.25f);
    ASSERT_EQ(info->GetField(sample.bytes, u"Tiny", &field), S_OK);
    EXPECT_EQ(field.bVal, 200);
    EXPECT_EQ(info->GetField(sample.bytes, u"count", &field), DISP_E_UNKNOWNNAME);

    // Without a copy: a reference into the record, here at an odd address.
    void* address = nullptr;
    ASSERT_EQ(info->GetFieldNoCopy(sample.bytes, u"Offset", &field, &address), S_OK);
    EXPECT_EQ(field.vt, VT_I4 | VT_BYREF);
    EXPECT_EQ(address, sample.bytes + 10);
    Variant value;
    ASSERT_EQ(VariantCopyInd(&value, &field), S_OK);
    EXPECT_EQ(value.lVal, 123456789);
}

TEST(AutomationRecordInfo, PutFieldConvertsAndRefusesValuesThatDoNotFit) {
    ComPtr<IRecordInfo> info = MakeSampleInfo();
    Sample sample;
    Variant text = Variant::String(" 42 ");
    ASSERT_EQ(info->PutField(0, sample.bytes, u"Offset", &text), S_OK);
    LONG offset = 0;
    std::memcpy(&offset, sample.bytes + 10, sizeof offset);
    EXPECT_EQ(offset, 42);

    Variant tooBig = Variant::I4(70000);
    EXPECT_EQ(info->PutField(0, sample.bytes, u"Kind", &tooBig), DISP_E_OVERFLOW);
    const Sample untouched;
    EXPECT_EQ(std::memcmp(sample.bytes, untouched.bytes, 10), 0);
    EXPECT_EQ(info->PutField(0, sample.bytes, u"Missing", &tooBig), DISP_E_UNKNOWNNAME);
}

TEST(AutomationRecordInfo, RecordVariantsCopyAndReleaseTheirRecords) {
    ComPtr<IRecordInfo> info = MakeSampleInfo();
    ASSERT_EQ(RefCount(info.get()), 1u);
    Sample sample = MakeSample();
    {
        Variant record;
        ASSERT_EQ(VariantFromRecord(info.get(), sample.bytes, &record), S_OK);
        EXPECT_EQ(record.vt, VT_RECORD);
        EXPECT_EQ(record.pRecInfo, info.get());
        ASSERT_NE(record.pvRecord, static_cast<void*>(sample.bytes));
        EXPECT_EQ(std::memcmp(record.pvRecord, sample.bytes, kSampleSize), 0);
        EXPECT_EQ(RefCount(info.get()), 2u);

        sample.Put<LONG>(0, 99);  // the variant holds its own copy
        Variant field;
        ASSERT_EQ(info->GetField(record.pvRecord, u"Count", &field), S_OK);
        EXPECT_EQ(field.lVal, -7);

        Variant copy = record;
        EXPECT_NE(copy.pvRecord, record.pvRecord);
        EXPECT_EQ(std::memcmp(copy.pvRecord, record.pvRecord, kSampleSize), 0);
        EXPECT_EQ(RefCount(info.get()), 3u);

        Variant viaChange;
        ASSERT_EQ(VariantChangeType(&viaChange, &record, 0, VT_RECORD), S_OK);
        EXPECT_NE(viaChange.pvRecord, record.pvRecord);
        EXPECT_EQ(VariantChangeType(&field, &record, 0, VT_I4), DISP_E_TYPEMISMATCH);
    }
    EXPECT_EQ(RefCount(info.get()), 1u);  // every copy destroyed its record and let go (LSan)
}

}  // namespace
