// The frame every automation member shares: the errors a member body may raise, checked
// arithmetic usable in one line, automation Booleans, the engine-status mapping, and the two
// error layers (the inner handler some members use and the outer safe-call frame of all).
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/automation/OleAuto.h"

// A value out of the range of its destination: narrowing, negative to unsigned, a 64-bit
// argument whose upper half must be zero.
class RangeError : public std::runtime_error {
public:
    RangeError() : std::runtime_error("Range check error") {}
};

// Signed integer overflow in a member's arithmetic.
class OverflowError : public std::runtime_error {
public:
    OverflowError() : std::runtime_error("Integer overflow") {}
};

// An error carrying an HRESULT of its own (a COM system error): the outer frame returns that
// code instead of E_UNEXPECTED when it is a failing one.
class ComError : public std::runtime_error {
public:
    ComError(HRESULT hr, const std::string& message) : std::runtime_error(message), hr_(hr) {}
    HRESULT code() const { return hr_; }

private:
    HRESULT hr_;
};

// ---- checked arithmetic -----------------------------------------------------------------------
// To(value), raising RangeError when value does not fit (also negative to unsigned).
template <std::integral To, class From>
    requires std::integral<From> || std::is_enum_v<From>
constexpr To Checked(From value) {
    if constexpr (std::is_enum_v<From>) {
        return Checked<To>(static_cast<std::underlying_type_t<From>>(value));
    } else {
        if (!std::in_range<To>(value)) throw RangeError();
        return static_cast<To>(value);
    }
}

// An integer argument that the engine takes as unsigned.
template <std::signed_integral T>
constexpr std::make_unsigned_t<T> CheckedUnsigned(T value) {
    if (value < 0) throw RangeError();
    return static_cast<std::make_unsigned_t<T>>(value);
}

// A 64-bit argument whose upper half must be zero.
constexpr std::uint32_t CheckedLow32(std::uint64_t value) {
    if (value >> 32) throw RangeError();
    return static_cast<std::uint32_t>(value);
}

template <std::integral T>
constexpr T CheckedAdd(T a, T b) {
    T r;
    if (__builtin_add_overflow(a, b, &r)) throw OverflowError();
    return r;
}
template <std::integral T>
constexpr T CheckedSub(T a, T b) {
    T r;
    if (__builtin_sub_overflow(a, b, &r)) throw OverflowError();
    return r;
}
template <std::integral T>
constexpr T CheckedMul(T a, T b) {
    T r;
    if (__builtin_mul_overflow(a, b, &r)) throw OverflowError();
    return r;
}

// A float truncated toward zero into an integer type; RangeError when it does not fit (NaN too).
template <std::integral To>
To CheckedTrunc(double value) {
    if (!(value > static_cast<double>(std::numeric_limits<To>::min()) - 1.0 &&
          value < static_cast<double>(std::numeric_limits<To>::max()) + 1.0))
        throw RangeError();
    return static_cast<To>(value);
}

// ---- automation Booleans ----------------------------------------------------------------------
constexpr VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }
constexpr bool FromVariantBool(VARIANT_BOOL value) { return value != 0; }

// ---- engine status to Value -------------------------------------------------------------------
// 1 (success) becomes 0, 0 becomes 1, every other code passes unchanged.
constexpr std::int32_t EngineStatusToValue(std::int32_t status) {
    if (status == 1) return 0;
    if (status == 0) return 1;
    return status;
}
// For a 16-bit Value: the status must fit in 16 bits first.
inline SHORT EngineStatusToValue16(std::int32_t status) {
    return static_cast<SHORT>(EngineStatusToValue(Checked<SHORT>(status)));
}

// ---- error layers -----------------------------------------------------------------------------
// Sets the thread's error information for the caller: description, source and help context.
void SetCallErrorInfo(const std::string& description, DWORD helpContext = 0);

// Outer frame of every member: runs the body; an error that escapes becomes the member's
// HRESULT (a ComError's own failing code, else E_UNEXPECTED) with thread error information
// carrying its message. Whatever the body wrote to Value before the error stays.
template <class Body>
HRESULT SafeCall(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return S_OK;
    } catch (const ComError& e) {
        SetCallErrorInfo(e.what());
        return FAILED(e.code()) ? e.code() : E_UNEXPECTED;
    } catch (const std::bad_alloc&) {
        SetCallErrorInfo("Out of memory");
        return E_UNEXPECTED;
    } catch (const std::exception& e) {
        SetCallErrorInfo(e.what());
        return E_UNEXPECTED;
    } catch (...) {
        SetCallErrorInfo("Unexpected error");
        return E_UNEXPECTED;
    }
}

// Inner handler of the members that catch their own errors: runs the work; on any error sets
// Value to -1 and hands the message to onError (which may log it). The member then succeeds.
template <class ValueT, class Work, class OnError>
void InnerHandler(ValueT& value, Work&& work, OnError&& onError) {
    try {
        std::forward<Work>(work)();
    } catch (const std::exception& e) {
        value = static_cast<ValueT>(-1);
        onError(std::string(e.what()));
    } catch (...) {
        value = static_cast<ValueT>(-1);
        onError(std::string("Unexpected error"));
    }
}
