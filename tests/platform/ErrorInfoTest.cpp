// Thread error information: one slot per thread, handed over (and emptied) by GetErrorInfo.
#include <gtest/gtest.h>

#include <thread>

#include "platform/automation/ErrorInfo.h"

namespace {

constexpr GUID kSourceIid{0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

ComPtr<IErrorInfo> MakeError(const char16_t* description) {
    ComPtr<ICreateErrorInfo> creator;
    EXPECT_EQ(CreateErrorInfo(creator.put()), S_OK);
    creator->SetGUID(kSourceIid);
    creator->SetSource(const_cast<LPOLESTR>(u"axLumora.Test"));
    creator->SetDescription(const_cast<LPOLESTR>(description));
    creator->SetHelpContext(42);
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(creator->QueryInterface(IID_IErrorInfo, info.put_void()), S_OK);
    return info;
}

std::string Description(IErrorInfo* info) {
    BStr text;
    EXPECT_EQ(info->GetDescription(text.put()), S_OK);
    return text.utf8();
}

TEST(AutomationErrorInfo, GetHandsTheObjectOverAndEmptiesTheSlot) {
    ComPtr<IErrorInfo> error = MakeError(u"broken");
    ASSERT_EQ(SetErrorInfo(0, error.get()), S_OK);
    IErrorInfo* raw = error.get();
    error.reset();  // the slot's reference keeps it alive

    ComPtr<IErrorInfo> received;
    ASSERT_EQ(GetErrorInfo(0, received.put()), S_OK);
    ASSERT_EQ(received.get(), raw);
    EXPECT_EQ(Description(received.get()), "broken");
    BStr source;
    ASSERT_EQ(received->GetSource(source.put()), S_OK);
    EXPECT_EQ(source.utf8(), "axLumora.Test");
    GUID guid{};
    ASSERT_EQ(received->GetGUID(&guid), S_OK);
    EXPECT_TRUE(guid == kSourceIid);
    DWORD context = 0;
    ASSERT_EQ(received->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 42u);
    BStr helpFile;
    ASSERT_EQ(received->GetHelpFile(helpFile.put()), S_OK);
    EXPECT_EQ(helpFile.get(), nullptr);  // never set

    IErrorInfo* none = raw;
    EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
    EXPECT_EQ(none, nullptr);
}

TEST(AutomationErrorInfo, SettingReplacesOrClearsAndReservedMustBeZero) {
    ASSERT_EQ(SetErrorInfo(0, MakeError(u"first").get()), S_OK);
    ASSERT_EQ(SetErrorInfo(0, MakeError(u"second").get()), S_OK);  // first is released (LSan)
    ComPtr<IErrorInfo> received;
    ASSERT_EQ(GetErrorInfo(0, received.put()), S_OK);
    EXPECT_EQ(Description(received.get()), "second");

    ASSERT_EQ(SetErrorInfo(0, MakeError(u"third").get()), S_OK);
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(GetErrorInfo(0, received.put()), S_FALSE);

    EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(1, received.put()), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
}

TEST(AutomationErrorInfo, EachThreadHasItsOwnSlot) {
    ASSERT_EQ(SetErrorInfo(0, MakeError(u"main").get()), S_OK);
    HRESULT otherBefore = E_FAIL, otherAfter = E_FAIL;
    std::string otherDescription;
    std::thread other([&] {
        ComPtr<IErrorInfo> seen;
        otherBefore = GetErrorInfo(0, seen.put());
        SetErrorInfo(0, MakeError(u"other").get());
        otherAfter = GetErrorInfo(0, seen.put());
        if (seen) otherDescription = Description(seen.get());
        // Left set on purpose: the thread's slot must release it when the thread ends (LSan).
        SetErrorInfo(0, MakeError(u"left behind").get());
    });
    other.join();
    EXPECT_EQ(otherBefore, S_FALSE);
    EXPECT_EQ(otherAfter, S_OK);
    EXPECT_EQ(otherDescription, "other");

    ComPtr<IErrorInfo> mine;
    ASSERT_EQ(GetErrorInfo(0, mine.put()), S_OK);
    EXPECT_EQ(Description(mine.get()), "main");
}

TEST(AutomationErrorInfo, ObjectAnswersBothInterfacesAsOneObject) {
    ComPtr<ICreateErrorInfo> creator;
    ASSERT_EQ(CreateErrorInfo(creator.put()), S_OK);
    ComPtr<IErrorInfo> reader;
    ASSERT_EQ(creator->QueryInterface(IID_IErrorInfo, reader.put_void()), S_OK);
    ComPtr<IUnknown> viaCreator, viaReader;
    ASSERT_EQ(creator->QueryInterface(IID_IUnknown, viaCreator.put_void()), S_OK);
    ASSERT_EQ(reader->QueryInterface(IID_IUnknown, viaReader.put_void()), S_OK);
    EXPECT_EQ(viaCreator.get(), viaReader.get());  // COM identity
    ComPtr<IUnknown> other;
    EXPECT_EQ(reader->QueryInterface(IID_IDispatch, other.put_void()), E_NOINTERFACE);
    // creator, reader and the two identity pointers hold four references between them.
    EXPECT_EQ(reader->AddRef(), 5u);
    EXPECT_EQ(reader->Release(), 4u);
}

}  // namespace
