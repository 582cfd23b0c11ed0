// Text forms of the values that cross the automation boundary, as the host prints them.
#pragma once

#include <string>

#include "platform/automation/OleAuto.h"

namespace host {

// Integers in decimal, floats in their shortest round-trip form, strings double-quoted (as the
// script would write them), records as {Field=value, …}, byte arrays by size, empty as (none).
// By-reference variants print what they point at.
std::string FormatVariant(const VARIANT& value);

// "0x" and 8 upper-case hexadecimal digits.
std::string FormatHResult(HRESULT hr);

// A short text for the automation and common system codes; empty when the code is not known.
std::string HResultText(HRESULT hr);

}  // namespace host
