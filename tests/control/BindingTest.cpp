// The interface's fixed shape, and early binding (vtable) against late binding (Invoke): both
// must reach the same implementation with the same result for every entry point.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "ControlFixture.h"
#include "control/MemberTable.h"
#include "control/Records.h"
#include "platform/automation/RecordInfo.h"

namespace {

// Vtable slot of a virtual member function under the Itanium C++ ABI: the pointer holds
// 1 + the byte offset of the slot.
template <class Method>
long VtableSlot(Method method) {
    struct Representation {
        std::uintptr_t ptr;
        std::ptrdiff_t adjustment;
    } r{};
    static_assert(sizeof(method) == sizeof(r));
    std::memcpy(&r, &method, sizeof r);
    return static_cast<long>((r.ptr - 1) / sizeof(void*));
}

#define AX_SLOT(entryName) VtableSlot(&IaxLumora::entryName),
#define AX_PROP(dispid, Name, Type, vt) AX_SLOT(get_##Name) AX_SLOT(put_##Name)
#define AX_PROP_GET(dispid, Name, Type, vt) AX_SLOT(get_##Name)
#define AX_PROP_FONT(dispid) AX_SLOT(get_Font) AX_SLOT(put_Font) AX_SLOT(putref_Font)
#define AX_METHOD(dispid, Name, ValueType, valueVt, ...) AX_SLOT(Name)
#define AX_METHOD_NOVALUE(dispid, Name, ...) AX_SLOT(Name)
const long kSlots[] = {
#include "axlumora/IaxLumoraEntries.inc"
};
#undef AX_PROP
#undef AX_PROP_GET
#undef AX_PROP_FONT
#undef AX_METHOD
#undef AX_METHOD_NOVALUE
#undef AX_SLOT

}  // namespace

TEST(InterfaceShape, HasItsEntryPointsInTheirFixedSlots) {
    ASSERT_EQ(kIaxLumoraEntries.size(), 183u);
    ASSERT_EQ(std::size(kSlots), 183u);
    for (std::size_t i = 0; i < std::size(kSlots); ++i)
        EXPECT_EQ(kSlots[i], kIDispatchEntryCount + static_cast<long>(i))
            << kIaxLumoraEntries[i].entry;
    EXPECT_EQ(VtableSlot(&IDispatch::Invoke), 6);
    EXPECT_STREQ(kIaxLumoraEntries.front().entry, "get_Visible");
    EXPECT_EQ(kIaxLumoraEntries.front().dispid, 201);
    EXPECT_STREQ(kIaxLumoraEntries.back().entry, "SetPaintLUT");
    EXPECT_EQ(kIaxLumoraEntries.back().dispid, 328);
}

TEST(InterfaceShape, PropertiesReadBeforeTheyWriteAndDispIdsAreUnique) {
    std::set<std::pair<DISPID, EntryKind>> seen;
    for (std::size_t i = 0; i < kIaxLumoraEntries.size(); ++i) {
        const EntryInfo& e = kIaxLumoraEntries[i];
        EXPECT_TRUE(seen.insert({e.dispid, e.kind}).second) << e.entry;
        if (e.kind == EntryKind::PropertyPut) {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(kIaxLumoraEntries[i - 1].kind, EntryKind::PropertyGet) << e.entry;
            EXPECT_EQ(kIaxLumoraEntries[i - 1].dispid, e.dispid) << e.entry;
        }
    }
    EXPECT_STREQ(kIaxLumoraEntries[FindEntry(-512, EntryKind::PropertyPutRef)].entry,
                 "putref_Font");
    EXPECT_STREQ(kIaxLumoraEntries[FindEntry(273, EntryKind::Method)].valueName, "Value1");
    EXPECT_EQ(kIaxLumoraEntries[FindEntry(280, EntryKind::Method)].requiredParams(), 3);
}

TEST(InterfaceShape, ReadOnlyPropertiesHaveNoWriter) {
    for (const char* name :
         {"Active", "AlignDisabled", "MouseInClient", "VisibleDockClientCount", "ExplicitLeft",
          "ExplicitTop", "ExplicitWidth", "ExplicitHeight", "BitmapBits", "BitmapWidth",
          "BitmapHeight", "InfoViewPerspective", "IsGrayscale"}) {
        EXPECT_GE(FindEntryByName(name, EntryKind::PropertyGet), 0) << name;
        EXPECT_LT(FindEntryByName(name, EntryKind::PropertyPut), 0) << name;
    }
}

TEST(LateBinding, NamesResolveCaseInsensitivelyWithParameterIds) {
    auto control = NewControl();
    std::u16string member = u"createbitmap", param = u"iOrder";
    LPOLESTR names[] = {member.data(), param.data()};
    DISPID ids[2] = {};
    ASSERT_EQ(control->GetIDsOfNames(GUID_NULL, names, 2, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 280);
    EXPECT_EQ(ids[1], 3);
    std::u16string unknown = u"NoSuchMember";
    LPOLESTR bad[] = {unknown.data()};
    EXPECT_EQ(control->GetIDsOfNames(GUID_NULL, bad, 1, 0, ids), DISP_E_UNKNOWNNAME);
}

TEST(LateBinding, OptionalOrderDefaultsToRgbAndCountsAreChecked) {
    auto control = NewControl();
    Variant args[3] = {Variant::I2(24), Variant::R4(8.5f), Variant::R4(10.0f)};  // reversed
    DISPPARAMS params{args, nullptr, 3, 0};
    Variant result;
    ASSERT_EQ(
        control->Invoke(280, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 0);
    EXPECT_EQ(Impl(control).CurrentBitmap.Order, ORDER_RGB);
    EXPECT_EQ(Impl(control).CurrentBitmap.Width, 10);

    DISPPARAMS tooFew{args, nullptr, 2, 0};
    EXPECT_EQ(
        control->Invoke(280, GUID_NULL, 0, DISPATCH_METHOD, &tooFew, &result, nullptr, nullptr),
        DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(
        control->Invoke(9999, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
    Variant text = Variant::String("wide");
    Variant badArgs[3] = {Variant::I2(8), Variant::R4(8), Variant::I4(0)};
    VariantCopy(&badArgs[2], &text);
    DISPPARAMS mismatched{badArgs, nullptr, 3, 0};
    UINT argErr = 99;
    EXPECT_EQ(
        control->Invoke(280, GUID_NULL, 0, DISPATCH_METHOD, &mismatched, &result, nullptr, &argErr),
        DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 2u);
}

TEST(LateBinding, PropertyPutTakesTheNamedValueArgument) {
    auto control = NewControl();
    Variant one = Variant::I4(1);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&one, &named, 1, 1};
    ASSERT_EQ(
        control->Invoke(260, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
        S_OK);
    Variant result;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(
        control->Invoke(260, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    DISPPARAMS unnamed{&one, nullptr, 1, 0};
    EXPECT_NE(control->Invoke(260, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr,
                              nullptr),
              S_OK);
    // A read-only property has no writer.
    EXPECT_EQ(
        control->Invoke(255, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
}

TEST(LateBinding, AFailingMemberReportsItsCodeThroughTheException) {
    auto control = NewControl();
    Variant args[3] = {Variant::I2(-1), Variant::R4(8), Variant::R4(8)};
    DISPPARAMS params{args, nullptr, 3, 0};
    EXCEPINFO exception{};
    Variant result;
    ASSERT_EQ(
        control->Invoke(280, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, &exception, nullptr),
        DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_UNEXPECTED);
    EXPECT_EQ(BstrToUtf8(exception.bstrDescription), "Range check error");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    // Without an exception record the member's own code comes back.
    EXPECT_EQ(
        control->Invoke(280, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
        E_UNEXPECTED);
}

TEST(LateBinding, ByReferenceArgumentsAreWrittenBack) {
    auto control = NewControl();
    // b2sConvertS is not built yet, but the by-reference path is the same for every member:
    // a member answering E_NOTIMPL leaves the caller's variables alone.
    FLOAT sx = 1.5f, sy = 2.5f;
    Variant args[4];
    args[3] = Variant::R4(3);
    args[2] = Variant::R4(4);
    args[1].vt = VT_R4 | VT_BYREF;
    args[1].pfltVal = &sx;
    args[0].vt = VT_R4 | VT_BYREF;
    args[0].pfltVal = &sy;
    DISPPARAMS params{args, nullptr, 4, 0};
    Variant result;
    HRESULT hr =
        control->Invoke(324, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    if (hr == E_NOTIMPL) {
        EXPECT_EQ(sx, 1.5f);
        EXPECT_EQ(sy, 2.5f);
    } else {
        EXPECT_EQ(hr, S_OK);
    }
    args[1].byref = nullptr;  // Variant's destructor must not follow the borrowed pointers
    args[0].byref = nullptr;
    args[1].vt = args[0].vt = VT_EMPTY;
}

// ---- every entry point: vtable and Invoke agree ------------------------------------------------

namespace {

// A zero argument of each parameter type, for the vtable call.
template <class T>
struct DirectArg {
    T value{};
    T get() { return value; }
};
template <>
struct DirectArg<BSTR> {
    BStr text{u""};
    BSTR get() { return text.get(); }
};
template <>
struct DirectArg<VARIANT> {
    Variant value;
    VARIANT get() { return value; }
};
template <class T>
struct DirectArg<T*> {
    T value{};
    T* get() { return &value; }
    ~DirectArg() {
        if constexpr (std::is_same_v<T, BSTR>) SysFreeString(value);
        else if constexpr (std::is_same_v<T, VARIANT>) VariantClear(&value);
        else if constexpr (std::is_same_v<T, IFontDisp*>) {
            if (value) value->Release();
        }
    }
};
template <>
struct DirectArg<IFontDisp*> {
    IFontDisp* get() { return nullptr; }
};

// The out value rendered as text (what the call produced), or "" when the entry has none.
template <class T>
std::string Render(T& value, VARTYPE vt) {
    if constexpr (std::is_arithmetic_v<T> || std::is_enum_v<T>) {
        (void)vt;
        return std::to_string(static_cast<long double>(value));
    } else if constexpr (std::is_same_v<T, BSTR>) {
        return BstrToUtf8(value);
    } else if constexpr (std::is_same_v<T, VARIANT>) {
        Variant text;
        if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR)))
            return "vt" + std::to_string(value.vt);
        return BstrToUtf8(text.bstrVal);
    } else if constexpr (std::is_same_v<T, IFontDisp*>) {
        return value ? "font" : "null";
    } else {
        return std::string(reinterpret_cast<const char*>(&value), sizeof value);
    }
}

template <class... Args, std::size_t... I>
std::pair<HRESULT, std::string> CallDirectImpl(
    HRESULT (STDMETHODCALLTYPE IaxLumora::*method)(Args...), IaxLumora* control, const EntryInfo& e,
    std::index_sequence<I...>) {
    std::tuple<DirectArg<Args>...> args;
    HRESULT hr = (control->*method)(std::get<I>(args).get()...);
    std::string rendered;
    if constexpr (sizeof...(Args) > 0) {
        auto& last = std::get<sizeof...(Args) - 1>(args);
        if constexpr (requires { last.value; }) {
            if (e.hasValue() && SUCCEEDED(hr)) rendered = Render(last.value, e.valueVt);
        }
    }
    return {hr, rendered};
}

template <class... Args>
std::pair<HRESULT, std::string> CallDirect(HRESULT (STDMETHODCALLTYPE IaxLumora::*method)(Args...),
                                           IaxLumora* control, const EntryInfo& e) {
    return CallDirectImpl(method, control, e, std::index_sequence_for<Args...>{});
}

using DirectCall = std::pair<HRESULT, std::string> (*)(IaxLumora*, const EntryInfo&);
#define AX_DIRECT(entryName) \
    [](IaxLumora* c, const EntryInfo& e) { return CallDirect(&IaxLumora::entryName, c, e); },
#define AX_PROP(dispid, Name, Type, vt) AX_DIRECT(get_##Name) AX_DIRECT(put_##Name)
#define AX_PROP_GET(dispid, Name, Type, vt) AX_DIRECT(get_##Name)
#define AX_PROP_FONT(dispid) AX_DIRECT(get_Font) AX_DIRECT(put_Font) AX_DIRECT(putref_Font)
#define AX_METHOD(dispid, Name, ValueType, valueVt, ...) AX_DIRECT(Name)
#define AX_METHOD_NOVALUE(dispid, Name, ...) AX_DIRECT(Name)
const DirectCall kDirectCalls[] = {
#include "axlumora/IaxLumoraEntries.inc"
};
#undef AX_PROP
#undef AX_PROP_GET
#undef AX_PROP_FONT
#undef AX_METHOD
#undef AX_METHOD_NOVALUE
#undef AX_DIRECT

// A zero variant of a parameter's type, for the Invoke call.
void ZeroVariant(VARTYPE vt, VARIANT& out, std::vector<std::unique_ptr<std::int64_t>>& storage) {
    VariantInit(&out);
    VARTYPE base = vt & VARTYPE(~VT_BYREF);
    if (vt & VT_BYREF) {
        storage.push_back(std::make_unique<std::int64_t>(0));
        out.vt = vt;
        out.byref = storage.back().get();
        return;
    }
    switch (base) {
        case VT_BSTR:
            out.vt = VT_BSTR;
            out.bstrVal = SysAllocString(u"");
            break;
        case VT_VARIANT: break;
        case VT_DISPATCH:
            out.vt = VT_DISPATCH;
            out.pdispVal = nullptr;
            break;
        case VT_RECORD: {
            TaxLumora_Rect zero{};
            VariantFromRecord(RectRecordInfo(), &zero, &out);
            break;
        }
        default:
            out.vt = base;
            out.llVal = 0;
            break;
    }
}

std::pair<HRESULT, std::string> CallInvoke(IaxLumora* control, const EntryInfo& e) {
    std::vector<Variant> args(static_cast<std::size_t>(e.paramCount));
    std::vector<std::unique_ptr<std::int64_t>> storage;
    for (int i = 0; i < e.paramCount; ++i)
        ZeroVariant(e.params[i].vt, args[static_cast<std::size_t>(e.paramCount - 1 - i)], storage);
    DISPID named = DISPID_PROPERTYPUT;
    WORD flags = DISPATCH_METHOD;
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    if (e.kind == EntryKind::PropertyGet) flags = DISPATCH_PROPERTYGET;
    if (e.kind == EntryKind::PropertyPut || e.kind == EntryKind::PropertyPutRef) {
        flags = e.kind == EntryKind::PropertyPut ? DISPATCH_PROPERTYPUT : DISPATCH_PROPERTYPUTREF;
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    Variant result;
    EXCEPINFO exception{};
    HRESULT hr =
        control->Invoke(e.dispid, GUID_NULL, 0, flags, &params, &result, &exception, nullptr);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (hr == DISP_E_EXCEPTION) hr = exception.scode;
    for (Variant& a : args)
        if (a.vt & VT_BYREF) a.vt = VT_EMPTY;  // storage is ours, not the variant's
    std::string rendered;
    if (SUCCEEDED(hr) && e.hasValue()) {
        if (e.valueVt == VT_RECORD) {
            rendered.assign(static_cast<const char*>(result.pvRecord), sizeof(TaxLumora_FileInfo));
        } else if (e.valueVt == VT_DISPATCH) {
            rendered = result.pdispVal ? "font" : "null";
        } else if (e.valueVt == VT_VARIANT || e.valueVt == VT_BSTR) {
            Variant text;
            if (FAILED(VariantChangeType(&text, &result, 0, VT_BSTR)))
                rendered = "vt" + std::to_string(result.vt);
            else rendered = BstrToUtf8(text.bstrVal);
        } else {
            Variant number;
            VariantChangeType(&number, &result, 0, VT_R8);
            rendered = std::to_string(static_cast<long double>(number.dblVal));
        }
    }
    return {hr, rendered};
}

}  // namespace

TEST(LateBinding, EveryEntryPointAnswersTheSameThroughVtableAndInvoke) {
    ASSERT_EQ(std::size(kDirectCalls), kIaxLumoraEntries.size());
    for (std::size_t i = 0; i < kIaxLumoraEntries.size(); ++i) {
        const EntryInfo& e = kIaxLumoraEntries[i];
        // Each call gets a fresh control holding the same small image.
        auto early = NewControl();
        auto late = NewControl();
        LONG created = 0;
        early->CreateBitmap(6, 4, 16, 2, &created);
        late->CreateBitmap(6, 4, 16, 2, &created);
        auto direct = kDirectCalls[i](early.get(), e);
        auto invoked = CallInvoke(late.get(), e);
        EXPECT_EQ(direct.first, invoked.first) << e.entry;
        if (e.dispid == 233 && e.kind == EntryKind::PropertyGet) {
            // Each control hands out the key of its own bitmap.
            EXPECT_NE(direct.second, std::to_string(0.0L));
            EXPECT_NE(invoked.second, std::to_string(0.0L));
        } else {
            EXPECT_EQ(direct.second, invoked.second) << e.entry;
        }
    }
}
