// Scripts run through `axlumora run`: the language (values, comments, buffers), the faults it
// reports before and while running, and what the control answers through late binding.
#include <regex>

#include "tests/host/HostProcess.h"

namespace {

std::string Line(const HostResult& r, std::size_t index) {
    const auto lines = r.outLines();
    return index < lines.size() ? lines[index]
                                : std::string("<no line ") + std::to_string(index) + ">";
}

}  // namespace

// ---- faults found before anything runs ---------------------------------------------------------

TEST_F(HostTest, ScriptFaultsAreReportedWithTheirLinesAndNothingRuns) {
    const HostResult r = RunScript(
        "CreateBitmap 10 10 16\n"
        "Invertt\n"
        "CreateBitmap 10\n"
        "CreateBitmap 10 x 16\n"
        "Caption = \"open\n"
        "BitmapWidth 3\n"
        "Invert = 1\n"
        "Active = true\n"
        "Fill &nowhere\n"
        "CreateBitmap 1 1 99999999999999999999\n"
        "Caption = \"bad \\q escape\"\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.empty()) << r.out;  // not even line 1 ran
    const char* expected[] = {
        "script.txt:2: unknown member 'Invertt' (did you mean Invert?)",
        "script.txt:3: CreateBitmap takes 3 to 4 arguments",
        "script.txt:4: bad value 'x' (strings need double quotes)",
        "script.txt:5: unterminated string",
        "script.txt:6: BitmapWidth is a property",
        "script.txt:7: Invert is a method",
        "script.txt:8: Active is read-only",
        "script.txt:9: unknown buffer 'nowhere'",
        "script.txt:10: integer 99999999999999999999 is beyond the 64-bit range",
        "script.txt:11: unknown escape '\\q'",
    };
    std::size_t from = 0;
    for (const char* message : expected) {
        const std::size_t at = r.err.find(message, from);
        EXPECT_NE(at, std::string::npos) << "missing, or out of line order: " << message << "\n"
                                         << r.err;
        if (at != std::string::npos) from = at;
    }
}

TEST_F(HostTest, CommentsBlankLinesAndQuotedHashesParse) {
    const HostResult r = RunScript(
        "# a comment line\n"
        "\n"
        "   CreateBitmap 0x20 1e1 16   # width in hex, height as a float\n"
        "BitmapWidth\n"
        "BitmapHeight\t# tab before the comment\n"
        "Caption = \"a # is not a comment \\\" here\"  # but this is\n"
        "Caption\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Line(r, 0), "CreateBitmap -> 0");
    EXPECT_EQ(Line(r, 1), "BitmapWidth -> 32");
    EXPECT_EQ(Line(r, 2), "BitmapHeight -> 10");
    EXPECT_EQ(Line(r, 4), "Caption -> \"a # is not a comment \\\" here\"");
}

// ---- what the control answers ------------------------------------------------------------------

TEST_F(HostTest, ValuesMapEngineStatusAndFloatSizesTruncate) {
    const HostResult r = RunScript(
        "Invert                        # no image yet\n"
        "CreateBitmap 100.9 50.2 16 2\n"
        "BitmapWidth\n"
        "BitmapHeight\n"
        "Invert\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    std::smatch m;
    const std::string first = Line(r, 0);
    ASSERT_TRUE(std::regex_match(first, m, std::regex(R"(Invert -> (-?\d+) \(.+\))"))) << first;
    EXPECT_NE(std::stoi(m[1]), 0) << "inverting nothing must report an engine failure";
    EXPECT_EQ(Line(r, 1), "CreateBitmap -> 0");
    EXPECT_EQ(Line(r, 2), "BitmapWidth -> 100");
    EXPECT_EQ(Line(r, 3), "BitmapHeight -> 50");
    EXPECT_EQ(Line(r, 4), "Invert -> 0");
}

TEST_F(HostTest, BooleansReadBackAsAutomationTrueAndFalse) {
    const HostResult r = RunScript(
        "AutoSetRects = 1\n"
        "AutoSetRects\n"
        "AutoSetRects = 0\n"
        "AutoSetRects\n"
        "AutoSetRects = true\n"
        "AutoSetRects\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.outLines(), (std::vector<std::string>{
                                "AutoSetRects = 1", "AutoSetRects -> -1", "AutoSetRects = 0",
                                "AutoSetRects -> 0", "AutoSetRects = true", "AutoSetRects -> -1"}));
}

TEST_F(HostTest, EnableMethodErrorsReadsNothingAndAcceptsWrites) {
    const HostResult r = RunScript("EnableMethodErrors\nEnableMethodErrors = true\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::regex_match(Line(r, 0), std::regex(R"(EnableMethodErrors -> (0|\(none\)))")))
        << Line(r, 0);
    EXPECT_EQ(Line(r, 1), "EnableMethodErrors = true");
}

TEST_F(HostTest, FailingCallsStopTheRunUnlessKeepGoing) {
    const std::string script =
        "Cursor = 40000\n"
        "CreateBitmap 10 10 -16 2\n"
        "BitmapWidth\n";
    HostResult r = RunScript(script);
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.outLines().size(), 1u) << r.out;
    EXPECT_EQ(Line(r, 0).rfind("Cursor !! 0x8000FFFF ", 0), 0u) << Line(r, 0);

    r = RunScript(script, {"--keep-going"});
    EXPECT_EQ(r.exitCode, 1) << "a failure stays visible in the exit code";
    ASSERT_EQ(r.outLines().size(), 3u) << r.out;
    EXPECT_EQ(Line(r, 1).rfind("CreateBitmap !! 0x8000FFFF ", 0), 0u) << Line(r, 1);
    EXPECT_NE(Line(r, 1).find("Range"), std::string::npos) << Line(r, 1);
    EXPECT_EQ(Line(r, 2), "BitmapWidth -> 0");
}

TEST_F(HostTest, ValuesTooLargeForAParameterNameTheArgument) {
    const HostResult r = RunScript("CreateBitmap 1 1 0x7FFFFFFFFFFFFFFF\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Line(r, 0).rfind("CreateBitmap !! 0x8002000A", 0), 0u) << Line(r, 0);
    EXPECT_NE(Line(r, 0).find("iBitsPerPixel"), std::string::npos) << Line(r, 0);
}

// ---- buffers -----------------------------------------------------------------------------------

TEST_F(HostTest, BuffersAllocateLoadAndSaveBytesExactly) {
    std::string binary = "head";
    binary += '\0';
    binary += "\xFF\x01 tail\n";
    WriteFile("input.bin", binary);
    const HostResult r = RunScript(
        "buffer b = 16\n"
        "save b > zeros.bin\n"
        "buffer c < input.bin\n"
        "save c > \"copy of input.bin\"\n"
        "buffer b < input.bin   # a buffer may be defined again\n"
        "save b > again.bin\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile("zeros.bin"), std::string(16, '\0'));
    EXPECT_EQ(ReadFile("copy of input.bin"), binary);
    EXPECT_EQ(ReadFile("again.bin"), binary);
}

// `> NAME` keeps a byte-array Value as a buffer; `@NAME` passes a buffer as a byte array.
TEST_F(HostTest, ByteArraysGoBetweenBuffersAndTheArrayMembers) {
    const HostResult r = RunScript(
        "CreateBitmap 64 32 8\n"
        "SaveArray 6 8 0 > image   # BMP, 8 bits\n"
        "save image > image.bmp\n"
        "CreateBitmap 2 2 8\n"
        "buffer file < image.bmp\n"
        "LoadArray @file 0 0 0 100000   # the size is kept within the array\n"
        "BitmapWidth\n"
        "BitmapHeight\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::optional<std::string> bmp = ReadFile("image.bmp");
    ASSERT_TRUE(bmp.has_value());
    ASSERT_GT(bmp->size(), 54u);
    EXPECT_EQ(bmp->substr(0, 2), "BM");
    const std::vector<std::string> lines = r.outLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[1],
              "SaveArray -> <byte array " + std::to_string(bmp->size()) + " bytes> > image");
    EXPECT_EQ(lines[5], "LoadArray -> 0");
    EXPECT_EQ(lines[6], "BitmapWidth -> 64");
    EXPECT_EQ(lines[7], "BitmapHeight -> 32");
}

TEST_F(HostTest, ByteArrayFaultsAreReported) {
    // A Value that is no byte array fails the call and leaves the buffer empty but defined.
    HostResult r = RunScript(
        "CreateBitmap 4 4 8\n"
        "SaveArray 6 16 0 > refused\n"
        "save refused > empty.bin\n",
        {"--keep-going"});
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_EQ(r.outLines().size(), 3u) << r.out;
    EXPECT_EQ(r.outLines()[1], "SaveArray -> -1 !! not a byte array; buffer refused is empty");
    EXPECT_EQ(ReadFile("empty.bin"), std::string());
    // Unknown buffers and text after the target are script faults: nothing runs.
    r = RunScript("CreateBitmap 4 4 8\nLoadArray @nowhere 0 0 0 10\nSaveArray 6 8 0 > a b\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("script.txt:2: unknown buffer 'nowhere'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("script.txt:3: unexpected text after '> a'"), std::string::npos) << r.err;
}

TEST_F(HostTest, UnreadableFilesStopTheRunWithTheLine) {
    const HostResult r =
        RunScript("BitmapWidth\nbuffer b < no-such-file.raw\nBitmapHeight\n", {"--keep-going"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.outLines(), std::vector<std::string>{"BitmapWidth -> 0"});
    EXPECT_NE(r.err.find("script.txt:2: cannot read 'no-such-file.raw'"), std::string::npos)
        << r.err;
}

TEST_F(HostTest, ScriptsReadFromStandardInput) {
    const HostResult r = Run({"run", "-"}, "CreateBitmap 3 4 8\nBitmapHeight\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.outLines(), (std::vector<std::string>{"CreateBitmap -> 0", "BitmapHeight -> 4"}));
}

// ---- events ------------------------------------------------------------------------------------

TEST_F(HostTest, EventSinkSeesTheControlsDestroyHandler) {
    HostResult r = RunScript("BitmapWidth\n", {"--events"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.outLines(), (std::vector<std::string>{"BitmapWidth -> 0", "event OnDestroy()"}));
    EXPECT_EQ(r.err.find("still holds"), std::string::npos) << r.err;

    r = RunScript("BitmapWidth\n");
    EXPECT_EQ(r.out.find("event "), std::string::npos) << r.out;
}
