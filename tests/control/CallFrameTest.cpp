#include <gtest/gtest.h>

#include <cmath>

#include "ControlFixture.h"
#include "control/CallFrame.h"

TEST(EngineStatusToValue, MapsSuccessAndFailureAndPassesCodes) {
    EXPECT_EQ(EngineStatusToValue(1), 0);
    EXPECT_EQ(EngineStatusToValue(0), 1);
    EXPECT_EQ(EngineStatusToValue(-9), -9);
    EXPECT_EQ(EngineStatusToValue(7), 7);
    EXPECT_EQ(EngineStatusToValue16(-32768), -32768);
    EXPECT_THROW(EngineStatusToValue16(-32769), RangeError);
    EXPECT_THROW(EngineStatusToValue16(40000), RangeError);
}

TEST(CheckedArithmetic, RaisesRangeAndOverflowErrors) {
    EXPECT_EQ(Checked<std::int16_t>(32767), 32767);
    EXPECT_THROW(Checked<std::int16_t>(32768), RangeError);
    EXPECT_THROW(Checked<std::uint32_t>(-1), RangeError);
    EXPECT_EQ(CheckedUnsigned(5), 5u);
    EXPECT_THROW(CheckedUnsigned(-1), RangeError);
    EXPECT_EQ(CheckedLow32(0xFFFFFFFFull), 0xFFFFFFFFu);
    EXPECT_THROW(CheckedLow32(0x100000000ull), RangeError);
    EXPECT_THROW(CheckedAdd<std::int32_t>(INT32_MAX, 1), OverflowError);
    EXPECT_THROW(CheckedSub<std::int32_t>(INT32_MIN, 1), OverflowError);
    EXPECT_THROW(CheckedMul<std::int32_t>(65536, 65536), OverflowError);
    EXPECT_EQ(CheckedMul<std::int64_t>(65536, 65536), 4294967296LL);
}

TEST(CheckedArithmetic, TruncatesFloatsTowardZeroWithinRange) {
    EXPECT_EQ(CheckedTrunc<std::uint32_t>(100.9), 100u);
    EXPECT_EQ(CheckedTrunc<std::uint32_t>(-0.5), 0u);  // truncates to 0, which fits
    EXPECT_EQ(CheckedTrunc<std::int32_t>(-2.7), -2);
    EXPECT_EQ(CheckedTrunc<std::uint32_t>(4294967295.0), 4294967295u);
    EXPECT_THROW(CheckedTrunc<std::uint32_t>(4294967296.0), RangeError);
    EXPECT_THROW(CheckedTrunc<std::uint32_t>(-1.0), RangeError);
    EXPECT_THROW(CheckedTrunc<std::uint32_t>(std::nan("")), RangeError);
    EXPECT_THROW(CheckedTrunc<std::uint32_t>(INFINITY), RangeError);
}

TEST(SafeCall, TurnsEscapingErrorsIntoHResultsWithErrorInfo) {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(SafeCall([] {}), S_OK);

    EXPECT_EQ(SafeCall([] { throw RangeError(); }), E_UNEXPECTED);
    EXPECT_EQ(LastErrorDescription(), "Range check error");

    EXPECT_EQ(SafeCall([] { throw ComError(E_ACCESSDENIED, "denied"); }), E_ACCESSDENIED);
    EXPECT_EQ(LastErrorDescription(), "denied");

    // A COM error whose code is no failure still fails the call.
    EXPECT_EQ(SafeCall([] { throw ComError(S_FALSE, "odd"); }), E_UNEXPECTED);
}

TEST(SafeCall, KeepsWhatTheBodyWroteBeforeTheError) {
    int value = 0;
    EXPECT_EQ(SafeCall([&] {
                  value = 42;
                  throw OverflowError();
              }),
              E_UNEXPECTED);
    EXPECT_EQ(value, 42);
}

TEST(InnerHandler, SetsMinusOneAndReportsTheMessage) {
    std::int32_t value = 5;
    std::string reported;
    InnerHandler(
        value, [] { throw OverflowError(); }, [&](const std::string& m) { reported = m; });
    EXPECT_EQ(value, -1);
    EXPECT_EQ(reported, "Integer overflow");

    value = 5;
    InnerHandler(
        value, [&] { value = 9; }, [&](const std::string&) { FAIL(); });
    EXPECT_EQ(value, 9);
}
