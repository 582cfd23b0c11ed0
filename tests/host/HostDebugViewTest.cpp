// The per-user DebugView switch as a host process meets it: the registry file decides at load
// time whether the control writes its log lines to the debug output.
#include "tests/host/HostProcess.h"

namespace {

struct DebugViewCase {
    const char* name;
    const char* value;  // the registry line, or null for no value at all
    bool on;
};

const DebugViewCase kCases[] = {
    {"Dword1", "\"DebugView\"=dword:00000001", true},
    {"Dword0", "\"DebugView\"=dword:00000000", false},
    {"StringOne", "\"DebugView\"=\"1\"", true},
    {"StringYes", "\"DebugView\"=\"yes\"", false},
    {"NoValue", nullptr, false},
    {"Qword1", "\"DebugView\"=hex(b):01,00,00,00,00,00,00,00", true},
};

class DebugViewTest : public HostTest, public ::testing::WithParamInterface<DebugViewCase> {};

}  // namespace

TEST_P(DebugViewTest, SwitchDecidesWhetherTheLogIsWritten) {
    const DebugViewCase& c = GetParam();
    std::string registry =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Corvane\\Savonne]\r\n";
    if (c.value) registry += std::string(c.value) + "\r\n";
    WriteFile("registry.reg", registry);

    const HostResult r = Run({"call", "BitmapWidth"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string log = ReadFile("debug.txt").value_or("");
    if (c.on) {
        EXPECT_NE(log.find("TaxLumora.Initialization {R}\r\n"), std::string::npos) << log;
        EXPECT_NE(log.find("axLumora.Initialize, L_InitBitmap:1"), std::string::npos) << log;
    } else {
        EXPECT_EQ(log, "");
    }
    // The log goes to the file, never into the host's own output.
    EXPECT_EQ(r.err.find("Initialization"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "BitmapWidth -> 0\n");
}

INSTANTIATE_TEST_SUITE_P(Registry, DebugViewTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });
