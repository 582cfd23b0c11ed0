// The reference a host developer reads: docs/members.md as the host generates it, the status
// code listing, the meaning printed beside a failing Value, and records in the layout the
// control fills.
#include <regex>

#include "control/MemberTable.h"
#include "engine/Status.h"
#include "tests/host/HostProcess.h"

TEST_F(HostTest, CommittedMembersReferenceIsCurrentAndHasEveryMember) {
    const HostResult r = Run({"members", "--markdown"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::ifstream in(std::string(AXLUMORA_SOURCE_DIR) + "/docs/members.md", std::ios::binary);
    ASSERT_TRUE(in) << "docs/members.md is missing";
    const std::string committed((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
    EXPECT_TRUE(r.out == committed) << "docs/members.md is out of date: run build/host/axlumora "
                                       "members --markdown > docs/members.md";

    std::set<std::string> headed;
    const std::regex heading("^### `([A-Za-z0-9_]+)`$");
    for (const std::string& line : r.outLines()) {
        std::smatch m;
        if (std::regex_match(line, m, heading)) headed.insert(m[1]);
    }
    std::set<std::string> members;
    for (const EntryInfo& e : kIaxLumoraEntries) members.insert(e.member);
    EXPECT_EQ(headed, members);
    EXPECT_EQ(headed.size(), 133u);
    for (const EngineStatusInfo& s : kEngineStatuses)
        EXPECT_NE(r.out.find("| " + std::to_string(s.code) + " | `" + s.name + "` |"),
                  std::string::npos)
            << s.name;
}

TEST_F(HostTest, CodesListsEveryEngineStatusWithItsName) {
    const HostResult r = Run({"codes"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), kEngineStatuses.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const EngineStatusInfo& s = kEngineStatuses[i];
        const std::regex row("^\\s*" + std::to_string(s.code) + "\\s+" + s.name + "\\s+" +
                             s.meaning + "$");
        EXPECT_TRUE(std::regex_match(lines[i], row)) << lines[i];
    }
}

// Own codes come before engine codes, success carries no note, and the raw status of Shadow is
// read as the engine gave it.
TEST_F(HostTest, FailingValueShowsWhatItMeans) {
    const HostResult r = RunScript(
        "Invert\n"
        "LoadFnRAW \"absent.raw\" \"\" 4 4 255\n"
        "Shadow 0 0 0\n"
        "CreateBitmap 8 8 16 2\n"
        "SpatialFilter 99\n"
        "HistoContrast 0\n"
        "Invert\n"
        "Shadow 0 0 0\n"
        "RenderRuler 10000 1\n",
        {"--keep-going"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.outLines();
    const std::vector<std::string> expected{
        "Invert -> -2 (no image)",
        "LoadFnRAW -> -3 (input file not found)",
        "Shadow -> -2 (no image)",
        "CreateBitmap -> 0",
        "SpatialFilter -> -1 (filter 99 refused)",
        "HistoContrast -> -1 (iChange 0 refused)",
        "Invert -> 0",
        "Shadow -> 1",
        "RenderRuler -> -1 (refused: no image, image under 500 x 500, or ruler too long)",
    };
    EXPECT_EQ(lines, expected) << r.out;
}

TEST_F(HostTest, LoadOfAMissingFileSaysSo) {
    const HostResult r = RunScript("Load \"absent.dcm\" 0 0 0\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Load -> -1 (file not found)\n");
}

// The control fills TaxLumora_FileInfo packed; the host shows every field where it was put.
TEST_F(HostTest, FileInfoShowsEveryFieldOfThePackedRecord) {
    const HostResult r = RunScript(
        "CreateBitmap 300 200 16 2\n"
        "BitmapXRes = 1270\n"
        "BitmapYRes = 635\n"
        "SAVE \"x.dcm\" 89 16 0 0\n"
        "GetFileInfo \"x.dcm\" 0 0\n"
        "GetFileInfo \"absent.dcm\" 0 0\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 6u) << r.out;
    const std::regex info(
        "^GetFileInfo -> \\{SizeDisk=(\\d+), SizeMem=(\\d+), Layers=1, XRes=1270, YRes=635, "
        "TotalPages=1, Page=1, Format=89, Bits=16, Height=200, Width=300\\}$");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[4], m, info)) << lines[4];
    EXPECT_GT(std::stoi(m[1]), 300 * 200 * 2);
    EXPECT_EQ(std::stoi(m[2]), 300 * 200 * 2);
    // A missing file leaves the record as the host passed it: empty.
    EXPECT_EQ(lines[5],
              "GetFileInfo -> {SizeDisk=0, SizeMem=0, Layers=0, XRes=0, YRes=0, "
              "TotalPages=0, Page=0, Format=0, Bits=0, Height=0, Width=0}");
}
