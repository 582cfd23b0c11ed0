// Host buffers too short for what a statement asks of them: the control knows each buffer's size
// and refuses, so a script can end a call with a failure but never the host process.
#include "tests/host/HostProcess.h"

namespace {

class HostShortBufferTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        WriteFile("registry.reg",
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Corvane\\Savonne]\r\n"
                  "\"DebugView\"=dword:00000001\r\n");
        WriteFile("small.raw", std::string(1000, '\x11'));
    }
    std::string Log() const { return ReadFile("debug.txt").value_or(""); }
};

}  // namespace

TEST_F(HostShortBufferTest, LoadBufferRefusesAFrameLargerThanItsBuffer) {
    const HostResult r = RunScript(
        "buffer f < small.raw\n"
        "LoadBuffer &f \"\" 2000 1500 0\n"
        "BitmapWidth\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::vector<std::string> lines = r.outLines();
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[1], "LoadBuffer -> -1 (frame refused)");
    EXPECT_EQ(lines[2], "BitmapWidth -> 0");  // the control never had an image to lose
    EXPECT_NE(Log().find("axLumora.LoadBuffer, Frame needs 6000000 bytes, but its buffer holds "
                         "only 1000 from $"),
              std::string::npos)
        << Log();
}

TEST_F(HostShortBufferTest, EveryAddressTakingStatementStaysWithinTheBuffer) {
    // Each statement asks for more than the 1000 bytes; none may read past them.
    const HostResult r = RunScript(
        "buffer f < small.raw\n"
        "LoadBuffer &f \"\" 20 20 0x10000\n"  // 800 bytes: fits
        "LoadBuffer_Crop &f \"\" 100 100 1 1 1 1 0x20000\n"
        "LoadBuffer_NormalAndDark &f 0 \"\" 100 100 0\n"
        "LoadBuffer_NormalAndDark &f &f \"\" 100 100 0\n"
        "OptimizeBuffer &f 100 100 0 0 0 0\n"
        "SetPaintLUT &f 100000\n"
        "GetMemoryInfo &f 0 100000 0\n"
        "BitmapWidth\n",
        {"--keep-going"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    const std::vector<std::string> lines = r.outLines();
    ASSERT_EQ(lines.size(), 9u) << r.out << r.err;
    EXPECT_EQ(lines[1], "LoadBuffer -> 1");
    EXPECT_EQ(lines[2], "LoadBuffer_Crop -> -1 (frame runs past the end of its buffer)");
    EXPECT_EQ(lines[3], "LoadBuffer_NormalAndDark -> -1 (frame refused)");
    EXPECT_EQ(lines[4], "LoadBuffer_NormalAndDark -> -1 (frame refused)");
    EXPECT_EQ(lines[5], "OptimizeBuffer -> 0 (failed or refused)");  // its own failure code
    EXPECT_EQ(lines[8], "BitmapWidth -> 20");  // refusals left the loaded image alone
    const std::string log = Log();
    EXPECT_NE(log.find("TaxLumora.LoadBuffer_Crop, Frame needs"), std::string::npos) << log;
    EXPECT_NE(log.find("axLumora.LoadBuffer_NormalAndDark, Frame needs"), std::string::npos) << log;
    EXPECT_NE(log.find("axLumora.OptimizeBuffer, Buffer needs 20000 bytes"), std::string::npos)
        << log;
    EXPECT_NE(log.find("axLumora.SetPaintLUT, Table of 100000 entries"), std::string::npos) << log;
}
