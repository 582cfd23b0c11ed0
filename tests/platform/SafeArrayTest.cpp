// One-dimensional safe arrays: creation, bounds, locking, resizing, copying.
#include <gtest/gtest.h>

#include <memory>

#include "platform/automation/OleAuto.h"

namespace {

struct ArrayDeleter {
    void operator()(SAFEARRAY* psa) const { EXPECT_EQ(SafeArrayDestroy(psa), S_OK); }
};
using ArrayPtr = std::unique_ptr<SAFEARRAY, ArrayDeleter>;

TEST(AutomationSafeArray, VectorIsZeroFilledWithItsBounds) {
    ArrayPtr array(SafeArrayCreateVector(VT_UI1, 0, 1000));
    ASSERT_TRUE(array);
    EXPECT_EQ(SafeArrayGetDim(array.get()), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(array.get()), 1u);
    VARTYPE vt = VT_EMPTY;
    ASSERT_EQ(SafeArrayGetVartype(array.get(), &vt), S_OK);
    EXPECT_EQ(vt, VT_UI1);
    LONG lower = -1, upper = -1;
    ASSERT_EQ(SafeArrayGetLBound(array.get(), 1, &lower), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(array.get(), 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 999);
    EXPECT_EQ(SafeArrayGetUBound(array.get(), 2, &upper), DISP_E_BADINDEX);

    SafeArrayAccess access(array.get());
    ASSERT_TRUE(access.ok());
    const auto* bytes = static_cast<const BYTE*>(access.data());
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(bytes[i], 0) << i;
}

TEST(AutomationSafeArray, ShapesAndBoundsItCannotHoldAreRefused) {
    EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 4), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_VARIANT, 0, 4), nullptr);
    SAFEARRAYBOUND two[2] = {{2, 0}, {2, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_UI1, 2, two), nullptr);
    // The last index must still be a LONG.
    EXPECT_EQ(SafeArrayCreateVector(VT_UI1, 0x7FFFFFFF, 2), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_UI1, -10, 0xFFFFFFFFu), nullptr);

    ArrayPtr shifted(SafeArrayCreateVector(VT_I4, -5, 3));
    ASSERT_TRUE(shifted);
    LONG upper = 0;
    ASSERT_EQ(SafeArrayGetUBound(shifted.get(), 1, &upper), S_OK);
    EXPECT_EQ(upper, -3);
    EXPECT_EQ(SafeArrayGetElemsize(shifted.get()), 4u);

    ArrayPtr empty(SafeArrayCreateVector(VT_UI1, 0, 0));
    ASSERT_TRUE(empty);
    ASSERT_EQ(SafeArrayGetUBound(empty.get(), 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
    SafeArrayAccess access(empty.get());
    EXPECT_TRUE(access.ok());
}

TEST(AutomationSafeArray, LockedArrayCannotBeDestroyedOrResized) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 8);
    ASSERT_NE(array, nullptr);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    EXPECT_EQ(data, array->pvData);
    ASSERT_EQ(SafeArrayLock(array), S_OK);
    EXPECT_EQ(array->cLocks, 2u);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    SAFEARRAYBOUND bound{16, 0};
    EXPECT_EQ(SafeArrayRedim(array, &bound), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnlock(array), S_OK);
    ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnlock(array), E_UNEXPECTED);  // not locked any more
    {
        SafeArrayAccess access(array);
        EXPECT_EQ(array->cLocks, 1u);
    }
    EXPECT_EQ(array->cLocks, 0u);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(AutomationSafeArray, RedimKeepsLeadingDataAndZeroesGrowth) {
    ArrayPtr array(SafeArrayCreateVector(VT_UI2, 0, 4));
    ASSERT_TRUE(array);
    auto* values = static_cast<USHORT*>(array->pvData);
    for (USHORT i = 0; i < 4; ++i) values[i] = static_cast<USHORT>(100 + i);

    SAFEARRAYBOUND grown{1000, 1};
    ASSERT_EQ(SafeArrayRedim(array.get(), &grown), S_OK);
    values = static_cast<USHORT*>(array->pvData);
    for (USHORT i = 0; i < 4; ++i) EXPECT_EQ(values[i], 100 + i);
    for (int i = 4; i < 1000; ++i) ASSERT_EQ(values[i], 0) << i;
    LONG lower = 0;
    ASSERT_EQ(SafeArrayGetLBound(array.get(), 1, &lower), S_OK);
    EXPECT_EQ(lower, 1);

    SAFEARRAYBOUND shrunk{2, 0};
    ASSERT_EQ(SafeArrayRedim(array.get(), &shrunk), S_OK);
    values = static_cast<USHORT*>(array->pvData);
    EXPECT_EQ(values[0], 100);
    EXPECT_EQ(values[1], 101);
    LONG upper = 0;
    ASSERT_EQ(SafeArrayGetUBound(array.get(), 1, &upper), S_OK);
    EXPECT_EQ(upper, 1);

    SAFEARRAYBOUND none{0, 0};
    ASSERT_EQ(SafeArrayRedim(array.get(), &none), S_OK);
    SAFEARRAYBOUND back{3, 0};
    ASSERT_EQ(SafeArrayRedim(array.get(), &back), S_OK);
    EXPECT_EQ(static_cast<USHORT*>(array->pvData)[0], 0);
}

TEST(AutomationSafeArray, CopyIsIndependent) {
    ArrayPtr array(SafeArrayCreateVector(VT_R8, 3, 5));
    ASSERT_TRUE(array);
    static_cast<double*>(array->pvData)[4] = 2.5;
    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(SafeArrayCopy(array.get(), &raw), S_OK);
    ArrayPtr copy(raw);
    ASSERT_NE(copy->pvData, array->pvData);
    EXPECT_EQ(static_cast<double*>(copy->pvData)[4], 2.5);
    static_cast<double*>(array->pvData)[4] = 0;
    EXPECT_EQ(static_cast<double*>(copy->pvData)[4], 2.5);
    LONG lower = 0;
    ASSERT_EQ(SafeArrayGetLBound(copy.get(), 1, &lower), S_OK);
    EXPECT_EQ(lower, 3);
    VARTYPE vt = VT_EMPTY;
    ASSERT_EQ(SafeArrayGetVartype(copy.get(), &vt), S_OK);
    EXPECT_EQ(vt, VT_R8);
}

TEST(AutomationSafeArray, NullArraysAreInvalidArguments) {
    LONG bound = 0;
    void* data = nullptr;
    VARTYPE vt = 0;
    SAFEARRAY* out = nullptr;
    SAFEARRAYBOUND newBound{1, 0};
    EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayUnlock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayAccessData(nullptr, &data), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetUBound(nullptr, 1, &bound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
    EXPECT_EQ(SafeArrayRedim(nullptr, &newBound), E_INVALIDARG);
    EXPECT_EQ(SafeArrayCopy(nullptr, &out), E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);  // like free(nullptr)
    SafeArrayAccess access(nullptr);
    EXPECT_FALSE(access.ok());
}

}  // namespace
