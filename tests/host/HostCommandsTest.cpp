// The host's commands as a user runs them: the member listing, single calls, the demo, and
// the way the library is found.
#include <regex>

#include "control/MemberTable.h"
#include "tests/host/HostProcess.h"

namespace {

struct ListedEntry {
    int slot;
    int dispid;
    std::string entry;
    std::string kind;
    std::string rest;
};

std::vector<ListedEntry> ParseListing(const std::vector<std::string>& lines, std::size_t first,
                                      std::size_t count) {
    std::vector<ListedEntry> entries;
    const std::regex row(R"(^\s*(\d+)\s+(-?\d+)\s+(\S+)\s+(\S+)\s+(.*)$)");
    for (std::size_t i = first; i < first + count && i < lines.size(); ++i) {
        std::smatch m;
        if (!std::regex_match(lines[i], m, row)) {
            ADD_FAILURE() << "unexpected line " << i << ": " << lines[i];
            continue;
        }
        entries.push_back({std::stoi(m[1]), std::stoi(m[2]), m[3], m[4], m[5]});
    }
    return entries;
}

}  // namespace

TEST_F(HostTest, MembersListsEveryEntryPointInVtableOrderThenTheEvents) {
    const HostResult r = Run({"members"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 1 + kIaxLumoraEntries.size() + 1 + kIaxLumoraEvents.size());

    const auto entries = ParseListing(lines, 1, kIaxLumoraEntries.size());
    ASSERT_EQ(entries.size(), 183u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(entries[i].entry);
        EXPECT_EQ(entries[i].slot, static_cast<int>(7 + i));
        EXPECT_EQ(entries[i].dispid, kIaxLumoraEntries[i].dispid);
        EXPECT_EQ(entries[i].entry, kIaxLumoraEntries[i].entry);
    }
    // Fixed points of the interface.
    EXPECT_EQ(entries.front().entry, "get_Visible");
    EXPECT_EQ(entries.front().dispid, 201);
    EXPECT_EQ(entries.back().entry, "SetPaintLUT");
    EXPECT_EQ(entries.back().dispid, 328);
    EXPECT_EQ(entries.back().slot, 189);

    std::vector<std::string> font;
    for (const auto& e : entries)
        if (e.dispid == -512) font.push_back(e.entry + " " + e.kind);
    EXPECT_EQ(font, (std::vector<std::string>{"get_Font propget", "put_Font propput",
                                              "putref_Font propputref"}));

    for (const auto& e : entries) {
        if (e.entry == "SetTag") {
            EXPECT_NE(e.rest.find("int32 TagIndex, variant Value"), std::string::npos) << e.rest;
            EXPECT_NE(e.rest.find("-> int32 Value1"), std::string::npos) << e.rest;
        }
        if (e.entry == "SaveMemory") {
            EXPECT_NE(e.rest.find("ref uint32 phMem"), std::string::npos) << e.rest;
        }
        if (e.entry == "CreateBitmap") {
            EXPECT_NE(e.rest.find("[int32 iOrder = 0]"), std::string::npos) << e.rest;
        }
        if (e.kind == "propput") {
            EXPECT_NE(e.rest.find("(no Value)"), std::string::npos) << e.rest;
        }
    }

    const std::size_t eventsStart = 1 + kIaxLumoraEntries.size();
    EXPECT_NE(lines[eventsStart].find("events"), std::string::npos);
    for (std::size_t i = 0; i < kIaxLumoraEvents.size(); ++i) {
        const std::string& line = lines[eventsStart + 1 + i];
        EXPECT_NE(line.find(std::to_string(kIaxLumoraEvents[i].dispid) + "  " +
                            kIaxLumoraEvents[i].name + "("),
                  std::string::npos)
            << line;
    }
    EXPECT_NE(r.out.find("OnKeyPress(ref int16 Key)"), std::string::npos);
}

TEST_F(HostTest, CallRunsOneStatement) {
    HostResult r = Run({"call", "CreateBitmap", "32", "8", "16"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "CreateBitmap -> 0\n");

    r = Run({"call", "AutoSetRects", "=", "false"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "AutoSetRects = false\n");

    // The shell has removed the quotes: plain text is a string only where a string is taken.
    r = Run({"call", "CreateBitmap", "wide", "8", "16"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("bad value 'wide'"), std::string::npos) << r.err;

    r = Run({"call", "CreateBitmap", "32"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("takes 3 to 4 arguments"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST_F(HostTest, LibraryOptionWinsAndAMissingLibraryIsReported) {
    HostResult r = Run({"--library", Path("missing.so").string(), "call", "BitmapWidth"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("cannot load"), std::string::npos) << r.err;

    SetEnv("AXLUMORA_LIBRARY", Path("also-missing.so").string());
    r = Run({"call", "BitmapWidth"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("also-missing.so"), std::string::npos) << r.err;
}

TEST_F(HostTest, DemoRunsTheAcquisitionPipelineAndWritesItsFiles) {
    const HostResult r = Run({"demo", "--out", Path("demo").string()});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("LoadBuffer_NormalAndDark -> 1"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("!!"), std::string::npos) << r.out;
    // Every member call reports its time; every member of the pipeline is built.
    EXPECT_EQ(r.out.find("skipped"), std::string::npos) << r.out;
    for (const char* member :
         {"AddTextToBottom -> 1", "RenderRuler -> 0", "PutSymbolOnLead_16Bit", "Invert -> 0"})
        EXPECT_NE(r.out.find(member), std::string::npos) << member;
    int calls = 0;
    const std::regex step(R"(^\s*\d+\s.*)");
    for (const std::string& line : r.outLines()) {
        if (!std::regex_match(line, step) || line.find("skipped") != std::string::npos ||
            line.find(" -> ") == std::string::npos)
            continue;
        ++calls;
        EXPECT_TRUE(std::regex_search(line, std::regex(R"( -> .*\d+\.\d+ ms$)"))) << line;
    }
    EXPECT_GE(calls, 3);
    for (const char* file : {"sensor-frame.raw", "dark-frame.raw", "sensor-defects.txt", "demo.dcm",
                             "demo-preview.png"})
        EXPECT_TRUE(std::filesystem::exists(Path("demo") / file)) << file;
    // The sample is deterministic: a second run writes the same frame.
    std::ifstream first(Path("demo") / "sensor-frame.raw", std::ios::binary);
    const std::string frame((std::istreambuf_iterator<char>(first)), {});
    const HostResult again = Run({"demo", "--out", Path("again").string()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    std::ifstream second(Path("again") / "sensor-frame.raw", std::ios::binary);
    EXPECT_TRUE(frame == std::string((std::istreambuf_iterator<char>(second)), {}));
}

TEST_F(HostTest, HelpDocumentsTheExitCodesAndUnknownCommandsFail) {
    HostResult r = Run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("--keep-going"), std::string::npos);
    EXPECT_NE(r.out.find("Exit codes"), std::string::npos);

    r = Run({"frobnicate"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown command 'frobnicate'"), std::string::npos) << r.err;
}
