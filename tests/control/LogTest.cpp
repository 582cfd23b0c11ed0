#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ControlFixture.h"
#include "control/Log.h"
#include "tests/common/TestFiles.h"

namespace {

RegistryValue Dword(std::uint32_t v) {
    return {REG_DWORD, {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}};
}

RegistryValue String(std::u16string_view text) {
    RegistryValue value{REG_SZ, {}};
    for (char16_t c : text) {
        value.data.push_back(BYTE(c & 0xFF));
        value.data.push_back(BYTE(c >> 8));
    }
    value.data.push_back(0);
    value.data.push_back(0);
    return value;
}

// Points the registry at a scratch file for the scope and restores the environment after.
class ScratchRegistry {
public:
    explicit ScratchRegistry(const std::string& text)
        : path_(folder_.Write("registry.reg", text)), environment_("AXLUMORA_REGISTRY", path_) {}

private:
    testsupport::ScratchFolder folder_{"log"};
    std::string path_;
    testsupport::ScopedEnvironment environment_;
};

bool SwitchAfterReading(const std::string& registryText) {
    ScratchRegistry registry(registryText);
    bool before = DebugSwitchOn();
    ReadDebugSwitch();
    bool on = DebugSwitchOn();
    SetDebugSwitchForTesting(before);
    return on;
}

const std::string kHeader =
    "Windows Registry Editor Version "
    "5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Corvane\\Savonne]\r\n";

}  // namespace

TEST(DebugViewValue, ReadsEveryValueTypeAsAnInteger) {
    EXPECT_EQ(RegistryValueAsInteger(Dword(1)), 1);
    EXPECT_EQ(RegistryValueAsInteger(Dword(0)), 0);
    EXPECT_EQ(RegistryValueAsInteger(String(u"1")), 1);
    EXPECT_EQ(RegistryValueAsInteger(String(u"-12")), -12);
    EXPECT_EQ(RegistryValueAsInteger(String(u"$1F")), 31);
    EXPECT_EQ(RegistryValueAsInteger(String(u"0x10")), 16);
    EXPECT_EQ(RegistryValueAsInteger(String(u"9223372036854775807")), INT64_MAX);
    EXPECT_EQ(RegistryValueAsInteger(String(u"9223372036854775808")), std::nullopt);
    EXPECT_EQ(RegistryValueAsInteger(String(u"yes")), std::nullopt);
    EXPECT_EQ(RegistryValueAsInteger(String(u"")), std::nullopt);
    EXPECT_EQ(RegistryValueAsInteger(String(u"1 ")), std::nullopt);
    RegistryValue qword{REG_QWORD, {0, 0, 0, 0, 1, 0, 0, 0}};
    EXPECT_EQ(RegistryValueAsInteger(qword), 1LL << 32);
    RegistryValue shortBinary{REG_BINARY, {2}};
    EXPECT_EQ(RegistryValueAsInteger(shortBinary), 2);
    RegistryValue longBinary{REG_BINARY, std::vector<BYTE>(9, 1)};
    EXPECT_EQ(RegistryValueAsInteger(longBinary), std::nullopt);
}

TEST(DebugSwitch, FollowsTheRegistryValue) {
    EXPECT_TRUE(SwitchAfterReading(kHeader + "\"DebugView\"=dword:00000001\r\n"));
    EXPECT_TRUE(SwitchAfterReading(kHeader + "\"DebugView\"=\"1\"\r\n"));
    EXPECT_FALSE(SwitchAfterReading(kHeader + "\"DebugView\"=\"on\"\r\n"));
    EXPECT_FALSE(SwitchAfterReading(kHeader + "\"DebugView\"=dword:00000000\r\n"));
    EXPECT_FALSE(SwitchAfterReading(kHeader + "\"Other\"=dword:00000001\r\n"));
    EXPECT_FALSE(SwitchAfterReading("this is no registry file"));
    EXPECT_TRUE(SwitchAfterReading(kHeader + "\"DebugView\"=hex(b):00,00,00,00,01,00,00,00\r\n"));
}

TEST(WriteLog, SendsLinesOnlyWhileTheSwitchIsOn) {
    std::vector<std::string> lines;
    auto previous = SetDebugOutputCapture([&](const std::string& l) { lines.push_back(l); });
    bool before = SetDebugSwitchForTesting(false);
    WriteLog("axLumora.Load, Begin");
    EXPECT_TRUE(lines.empty());
    SetDebugSwitchForTesting(true);
    WriteLog("axLumora.Load, Begin");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "axLumora.Load, Begin\r\n");
    SetDebugSwitchForTesting(before);
    SetDebugOutputCapture(previous);
}

TEST(HexUpper, PadsToTheMinimumDigits) {
    EXPECT_EQ(HexUpper(0x1A, 4), "001A");
    EXPECT_EQ(HexUpper(0xABCDEF12, 4), "ABCDEF12");
    EXPECT_EQ(HexUpper(0, 4), "0000");
}
