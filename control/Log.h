// The control's two report channels: WriteLog to the debug output behind the per-user
// "DebugView" switch, and the OnLog event (fired by TaxLumora::FireOnLog).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry/Registry.h"

// Sends text + "\r\n" to the debug output when the switch is on; costs one test when off.
void WriteLog(std::string_view text);

bool DebugSwitchOn();
// Reads "DebugView" under HKEY_CURRENT_USER\Software\Corvane\Savonne and fixes the switch.
// Module initialisation calls it once; the switch is not read again.
void ReadDebugSwitch();
// For tests: sets the switch directly (restores with the previous value).
bool SetDebugSwitchForTesting(bool on);

// A registry value read as an integer: strings parse as 64-bit integers (decimal, or hex after
// "$" or "0x"), other types as a little-endian binary integer of up to 8 bytes. None when the
// value cannot be read as an integer.
std::optional<std::int64_t> RegistryValueAsInteger(const RegistryValue& value);

// The inner error handler's report for a member whose own description gives no line for the
// error: one line, "axLumora.<member>, <message>", so a caught error never vanishes unseen.
inline auto LogCaughtError(std::string member) {
    return [member = std::move(member)](const std::string& message) {
        WriteLog("axLumora." + member + ", " + message);
    };
}

// Formatting helpers for log lines: decimal and "$"-prefixed upper-case hexadecimal.
std::string HexUpper(std::uint64_t value, int minDigits);
