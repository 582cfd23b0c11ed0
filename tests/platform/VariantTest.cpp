// VARIANT ownership (clear, copy, copy-indirect) and VariantChangeType.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/automation/OleAuto.h"
#include "tests/platform/AutomationTestObjects.h"

namespace {

using automation_test::ProbeDispatch;

// The value of an integer-typed variant, widened (UI8 above INT64_MAX is not used here).
std::int64_t IntegerOf(const VARIANT& v) {
    switch (v.vt) {
        case VT_I1: return static_cast<signed char>(v.cVal);
        case VT_UI1: return v.bVal;
        case VT_I2: return v.iVal;
        case VT_UI2: return v.uiVal;
        case VT_I4: return v.lVal;
        case VT_INT: return v.intVal;
        case VT_UI4: return v.ulVal;
        case VT_UINT: return v.uintVal;
        case VT_I8: return v.llVal;
        case VT_UI8: return static_cast<std::int64_t>(v.ullVal);
        case VT_BOOL: return v.boolVal;
        default: ADD_FAILURE() << "not an integer variant: " << v.vt; return 0;
    }
}

HRESULT Change(const VARIANT& src, VARTYPE vt, Variant& out, USHORT flags = 0) {
    out.clear();
    return VariantChangeType(&out, &src, flags, vt);
}

// ---- ownership --------------------------------------------------------------------------------

TEST(AutomationVariantLifetime, CopyDuplicatesStringsAndReferencesObjects) {
    Variant text = Variant::String("abc");
    Variant copy;
    ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(BstrToUtf8(copy.bstrVal), "abc");

    ProbeDispatch object;
    {
        Variant holder;
        holder.vt = VT_DISPATCH;
        holder.pdispVal = &object;
        object.AddRef();
        Variant second = holder;  // Variant's copy goes through VariantCopy
        EXPECT_EQ(object.refs, 3u);
        // Copying over a variant releases what it held first.
        ASSERT_EQ(VariantCopy(&second, &text), S_OK);
        EXPECT_EQ(object.refs, 2u);
    }
    EXPECT_EQ(object.refs, 1u);
}

TEST(AutomationVariantLifetime, ArraysAreDeepCopiedAndLockedArraysStay) {
    Variant array;
    array.vt = VT_ARRAY | VT_UI1;
    array.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_NE(array.parray, nullptr);
    static_cast<BYTE*>(array.parray->pvData)[2] = 7;

    Variant copy = array;
    ASSERT_NE(copy.parray, array.parray);
    EXPECT_EQ(static_cast<BYTE*>(copy.parray->pvData)[2], 7);

    ASSERT_EQ(SafeArrayLock(copy.parray), S_OK);
    EXPECT_EQ(VariantClear(&copy), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(copy.vt, VT_ARRAY | VT_UI1);  // still owns the array
    ASSERT_EQ(SafeArrayUnlock(copy.parray), S_OK);
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(copy.vt, VT_EMPTY);
}

TEST(AutomationVariantLifetime, ByReferenceIsNeverOwnedAndCopyIndReadsThrough) {
    BStr target = BStr::FromUtf8("pointee");
    BSTR raw = target.get();
    Variant ref;
    ref.vt = VT_BSTR | VT_BYREF;
    ref.pbstrVal = &raw;

    Variant copy;
    ASSERT_EQ(VariantCopy(&copy, &ref), S_OK);
    EXPECT_EQ(copy.pbstrVal, &raw);  // the reference itself
    ASSERT_EQ(VariantCopyInd(&copy, &ref), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, raw);
    EXPECT_EQ(BstrToUtf8(copy.bstrVal), "pointee");
    EXPECT_EQ(VariantClear(&ref), S_OK);  // leaves `target` alone (ASan would object)
    EXPECT_EQ(target.utf8(), "pointee");

    // A packed record can put a value at an odd address; reading it must not assume alignment.
    alignas(8) unsigned char bytes[8] = {};
    const LONG value = -123456;
    std::memcpy(bytes + 1, &value, sizeof value);
    Variant unaligned;
    unaligned.vt = VT_I4 | VT_BYREF;
    unaligned.byref = bytes + 1;
    ASSERT_EQ(VariantCopyInd(&copy, &unaligned), S_OK);
    EXPECT_EQ(copy.vt, VT_I4);
    EXPECT_EQ(copy.lVal, value);

    Variant inner = Variant::I4(9);
    Variant viaVariant;
    viaVariant.vt = VT_VARIANT | VT_BYREF;
    viaVariant.pvarVal = &inner;
    ASSERT_EQ(VariantCopyInd(&viaVariant, &viaVariant), S_OK);  // in place
    EXPECT_EQ(viaVariant.vt, VT_I4);
    EXPECT_EQ(viaVariant.lVal, 9);
}

TEST(AutomationVariantLifetime, BadTypesAndNullArgumentsAreRefused) {
    Variant bad;
    bad.vt = 0x0FFF;
    Variant out;
    EXPECT_EQ(VariantCopy(&out, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    bad.vt = VT_VARIANT;  // only valid by reference
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    bad.vt = VT_EMPTY;
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    EXPECT_EQ(VariantCopy(nullptr, &out), E_INVALIDARG);

    Variant nullRef;
    nullRef.vt = VT_I4 | VT_BYREF;
    EXPECT_EQ(VariantCopyInd(&out, &nullRef), E_INVALIDARG);
}

// ---- VariantChangeType ------------------------------------------------------------------------

TEST(AutomationChangeType, FloatToIntegerRoundsHalfToEven) {
    const struct {
        double input;
        std::int64_t expected;
    } cases[] = {{2.5, 2},
                 {3.5, 4},
                 {-2.5, -2},
                 {-3.5, -4},
                 {0.5, 0},
                 {1.5, 2},
                 {-0.5, 0},
                 {2.4999, 2},
                 {2.5000001, 3},
                 {-1.6, -2},
                 {1e15 + 0.5, 1000000000000000}};
    Variant out;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        ASSERT_EQ(Change(Variant::R8(c.input), VT_I8, out), S_OK);
        EXPECT_EQ(out.llVal, c.expected);
        if (std::fabs(c.input) < 1e9) {
            ASSERT_EQ(Change(Variant::R8(c.input), VT_I4, out), S_OK);
            EXPECT_EQ(out.lVal, c.expected);
        }
    }
    ASSERT_EQ(Change(Variant::R4(2.5f), VT_I2, out), S_OK);
    EXPECT_EQ(out.iVal, 2);
    ASSERT_EQ(Change(Variant::String("2.5"), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, 2);
    ASSERT_EQ(Change(Variant::String("3.5"), VT_UI1, out), S_OK);
    EXPECT_EQ(out.bVal, 4);
}

TEST(AutomationChangeType, IntegerTargetsOverflowJustOutsideTheirRange) {
    const struct {
        VARTYPE vt;
        std::int64_t min;
        std::int64_t max;
    } types[] = {
        {VT_I1, -128, 127},
        {VT_UI1, 0, 255},
        {VT_I2, -32768, 32767},
        {VT_UI2, 0, 65535},
        {VT_I4, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()},
        {VT_INT, std::numeric_limits<std::int32_t>::min(),
         std::numeric_limits<std::int32_t>::max()},
        {VT_UI4, 0, std::numeric_limits<std::uint32_t>::max()},
        {VT_UINT, 0, std::numeric_limits<std::uint32_t>::max()},
    };
    Variant out;
    for (const auto& t : types) {
        SCOPED_TRACE(t.vt);
        for (std::int64_t edge : {t.min, t.max}) {
            ASSERT_EQ(Change(Variant::I8(edge), t.vt, out), S_OK);
            EXPECT_EQ(out.vt, t.vt);
            EXPECT_EQ(IntegerOf(out), edge);
            // The same edges reached from text and from a double.
            ASSERT_EQ(Change(Variant::String(std::to_string(edge)), t.vt, out), S_OK);
            EXPECT_EQ(IntegerOf(out), edge);
            ASSERT_EQ(Change(Variant::R8(static_cast<double>(edge)), t.vt, out), S_OK);
            EXPECT_EQ(IntegerOf(out), edge);
        }
        EXPECT_EQ(Change(Variant::I8(t.max + 1), t.vt, out), DISP_E_OVERFLOW);
        EXPECT_EQ(Change(Variant::I8(t.min - 1), t.vt, out), DISP_E_OVERFLOW);
        // Every max is odd, so max + 0.5 ties to the even max + 1; every min is even.
        EXPECT_EQ(Change(Variant::R8(t.max + 0.5), t.vt, out), DISP_E_OVERFLOW);
        ASSERT_EQ(Change(Variant::R8(t.min - 0.5), t.vt, out), S_OK);
        EXPECT_EQ(IntegerOf(out), t.min);
        EXPECT_EQ(Change(Variant::String(std::to_string(t.max + 1)), t.vt, out), DISP_E_OVERFLOW);
        EXPECT_EQ(Change(Variant::String(std::to_string(t.min - 1)), t.vt, out), DISP_E_OVERFLOW);
    }
}

TEST(AutomationChangeType, SixtyFourBitEdgesStayExact) {
    Variant out;
    ASSERT_EQ(Change(Variant::String("-9223372036854775808"), VT_I8, out), S_OK);
    EXPECT_EQ(out.llVal, std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Change(Variant::String("-9223372036854775809"), VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Variant::String("9223372036854775808"), VT_I8, out), DISP_E_OVERFLOW);
    ASSERT_EQ(Change(Variant::String("18446744073709551615"), VT_UI8, out), S_OK);
    EXPECT_EQ(out.ullVal, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(Change(Variant::String("18446744073709551616"), VT_UI8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Variant::UI8(1ull << 63), VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Variant::I8(-1), VT_UI8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Variant::R8(9223372036854775808.0), VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Variant::R8(18446744073709551616.0), VT_UI8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Variant::R8(std::nan("")), VT_I4, out), DISP_E_OVERFLOW);
    ASSERT_EQ(Change(Variant::UI8(std::numeric_limits<std::uint64_t>::max()), VT_BSTR, out), S_OK);
    EXPECT_EQ(BstrToUtf8(out.bstrVal), "18446744073709551615");
}

TEST(AutomationChangeType, TextParsing) {
    const struct {
        const char* text;
        VARTYPE vt;
        HRESULT hr;
        double expected;
    } cases[] = {
        {" 42 ", VT_I4, S_OK, 42},
        {"+7", VT_I4, S_OK, 7},
        {"-0", VT_I4, S_OK, 0},
        {"1e3", VT_I4, S_OK, 1000},
        {"&H1F", VT_I4, S_OK, 31},
        {"&hff", VT_UI1, S_OK, 255},
        {"&O17", VT_I2, S_OK, 15},
        {"1.5", VT_R8, S_OK, 1.5},
        {".5", VT_R8, S_OK, 0.5},
        {"-2.5E-3", VT_R8, S_OK, -0.0025},
        {"\t12\t", VT_R4, S_OK, 12},
        {"1e-400", VT_R8, S_OK, 0},
        {"12abc", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"   ", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {"1e", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {".", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {"--1", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"1 2", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"&H", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"&HG1", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"1,5", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {"inf", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {"nan", VT_R8, DISP_E_TYPEMISMATCH, 0},
        {"0x10", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"\xEF\xBC\x91", VT_I4, DISP_E_TYPEMISMATCH, 0},
        {"1e400", VT_R8, DISP_E_OVERFLOW, 0},
        {"3.5e38", VT_R4, DISP_E_OVERFLOW, 0},
        {"40000", VT_I2, DISP_E_OVERFLOW, 0},
        {"-1", VT_UI4, DISP_E_OVERFLOW, 0},
        {"&H10000", VT_UI2, DISP_E_OVERFLOW, 0},
        {"&H10000000000000000", VT_UI8, DISP_E_OVERFLOW, 0},
    };
    Variant out;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(Change(Variant::String(c.text), c.vt, out), c.hr);
        if (c.hr != S_OK) continue;
        EXPECT_EQ(out.vt, c.vt);
        if (c.vt == VT_R8) EXPECT_EQ(out.dblVal, c.expected);
        else if (c.vt == VT_R4) EXPECT_EQ(out.fltVal, static_cast<float>(c.expected));
        else EXPECT_EQ(IntegerOf(out), static_cast<std::int64_t>(c.expected));
    }
}

TEST(AutomationChangeType, BooleanEncodings) {
    Variant out;
    ASSERT_EQ(Change(Variant::Bool(true), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, -1);
    ASSERT_EQ(Change(Variant::Bool(false), VT_R8, out), S_OK);
    EXPECT_EQ(out.dblVal, 0.0);
    EXPECT_EQ(Change(Variant::Bool(true), VT_UI1, out), DISP_E_OVERFLOW);  // -1 is no byte

    const struct {
        Variant src;
        VARIANT_BOOL expected;
    } toBool[] = {
        {Variant::I4(5), VARIANT_TRUE},          {Variant::I4(0), VARIANT_FALSE},
        {Variant::R8(0.1), VARIANT_TRUE},        {Variant::R4(-0.0f), VARIANT_FALSE},
        {Variant::String("true"), VARIANT_TRUE}, {Variant::String(" FALSE "), VARIANT_FALSE},
        {Variant::String("True"), VARIANT_TRUE}, {Variant::String("2"), VARIANT_TRUE},
        {Variant::String("0"), VARIANT_FALSE},   {Variant(), VARIANT_FALSE},
    };
    for (const auto& c : toBool) {
        ASSERT_EQ(Change(c.src, VT_BOOL, out), S_OK);
        EXPECT_EQ(out.vt, VT_BOOL);
        EXPECT_EQ(out.boolVal, c.expected);
    }
    EXPECT_EQ(Change(Variant::String("yes"), VT_BOOL, out), DISP_E_TYPEMISMATCH);

    ASSERT_EQ(Change(Variant::Bool(true), VT_BSTR, out), S_OK);
    EXPECT_EQ(BstrToUtf8(out.bstrVal), "-1");
    ASSERT_EQ(Change(Variant::Bool(false), VT_BSTR, out), S_OK);
    EXPECT_EQ(BstrToUtf8(out.bstrVal), "0");
    ASSERT_EQ(Change(Variant::Bool(true), VT_BSTR, out, VARIANT_ALPHABOOL), S_OK);
    EXPECT_EQ(BstrToUtf8(out.bstrVal), "True");
    ASSERT_EQ(Change(Variant::Bool(false), VT_BSTR, out, VARIANT_ALPHABOOL), S_OK);
    EXPECT_EQ(BstrToUtf8(out.bstrVal), "False");
}

TEST(AutomationChangeType, NumbersFormatInShortestRoundTripForm) {
    const struct {
        Variant src;
        const char* expected;
    } cases[] = {
        {Variant::R8(1.5), "1.5"},     {Variant::R8(0.1), "0.1"},
        {Variant::R4(0.1f), "0.1"},    {Variant::R8(-0.0), "0"},
        {Variant::R8(1e20), "1E+20"},  {Variant::I4(-42), "-42"},
        {Variant::I2(32767), "32767"}, {Variant(), ""},
    };
    Variant out;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        ASSERT_EQ(Change(c.src, VT_BSTR, out), S_OK);
        EXPECT_EQ(BstrToUtf8(out.bstrVal), c.expected);
    }
    for (double value : {1.0 / 3.0, DBL_MAX, DBL_MIN, 4.9406564584124654e-324, -123.456e-7}) {
        ASSERT_EQ(Change(Variant::R8(value), VT_BSTR, out), S_OK);
        Variant back;
        ASSERT_EQ(Change(out, VT_R8, back), S_OK);
        EXPECT_EQ(back.dblVal, value) << BstrToUtf8(out.bstrVal);
    }
}

TEST(AutomationChangeType, SpecialSourcesAndTargets) {
    Variant out;
    Variant null;
    null.vt = VT_NULL;
    EXPECT_EQ(Change(null, VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Change(null, VT_BSTR, out), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(Change(null, VT_NULL, out), S_OK);
    EXPECT_EQ(out.vt, VT_NULL);
    ASSERT_EQ(Change(null, VT_EMPTY, out), S_OK);
    EXPECT_EQ(out.vt, VT_EMPTY);
    ASSERT_EQ(Change(Variant(), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, 0);

    Variant error;
    error.vt = VT_ERROR;
    error.scode = E_FAIL;
    ASSERT_EQ(Change(error, VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, E_FAIL);
    EXPECT_EQ(Change(error, VT_R8, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Change(Variant::I4(1), VT_ERROR, out), DISP_E_TYPEMISMATCH);

    ASSERT_EQ(Change(Variant::R8(FLT_MAX), VT_R4, out), S_OK);
    EXPECT_EQ(out.fltVal, FLT_MAX);
    EXPECT_EQ(Change(Variant::R8(1e39), VT_R4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Variant::R8(-1e39), VT_R4, out), DISP_E_OVERFLOW);

    ASSERT_EQ(Change(Variant::I4(3), VT_DATE, out), S_OK);
    EXPECT_EQ(out.date, 3.0);

    EXPECT_EQ(Change(Variant::I4(1), VT_CY, out), DISP_E_BADVARTYPE);
    EXPECT_EQ(Change(Variant::I4(1), 0x0FFF, out), DISP_E_BADVARTYPE);
    EXPECT_EQ(Change(Variant::I4(1), VT_ARRAY | VT_UI1, out), DISP_E_TYPEMISMATCH);
}

TEST(AutomationChangeType, ByReferenceSourcesAndInPlaceConversion) {
    LONG value = 40000;
    Variant ref;
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &value;
    Variant out;
    ASSERT_EQ(Change(ref, VT_R8, out), S_OK);
    EXPECT_EQ(out.dblVal, 40000.0);
    EXPECT_EQ(Change(ref, VT_I2, out), DISP_E_OVERFLOW);

    Variant v = Variant::I4(-17);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(BstrToUtf8(v.bstrVal), "-17");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I2), S_OK);  // the string is released (LSan)
    EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(v.iVal, -17);

    // A failed conversion leaves the destination as it was.
    Variant keep = Variant::String("keep");
    const Variant notANumber = Variant::String("abc");
    EXPECT_EQ(VariantChangeType(&keep, &notANumber, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(BstrToUtf8(keep.bstrVal), "keep");
}

TEST(AutomationChangeType, ObjectsConvertThroughTheirValueProperty) {
    ProbeDispatch object;
    object.value = Variant::String("12");
    {
        Variant holder;
        holder.vt = VT_DISPATCH;
        holder.pdispVal = &object;
        object.AddRef();

        Variant out;
        ASSERT_EQ(Change(holder, VT_I4, out), S_OK);
        EXPECT_EQ(out.lVal, 12);
        EXPECT_EQ(object.invokeCalls, 1);
        EXPECT_EQ(Change(holder, VT_I4, out, VARIANT_NOVALUEPROP), DISP_E_TYPEMISMATCH);
        EXPECT_EQ(object.invokeCalls, 1);

        ASSERT_EQ(Change(holder, VT_UNKNOWN, out), S_OK);
        EXPECT_EQ(out.punkVal, static_cast<IUnknown*>(&object));
        EXPECT_EQ(object.refs, 3u);
        out.clear();

        object.value.clear();  // no value property any more
        EXPECT_EQ(Change(holder, VT_BSTR, out), DISP_E_TYPEMISMATCH);
    }
    EXPECT_EQ(object.refs, 1u);
}

}  // namespace
