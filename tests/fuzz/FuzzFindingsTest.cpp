// The control-level fuzz targets' seeds and kept findings, replayed through the very harnesses
// the fuzzer ran (in the sanitizer build this is the fuzzer's own check, without the search).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "fuzz/Harnesses.h"
#include "host/ScriptParser.h"

namespace {

namespace fs = std::filesystem;

int Replay(const char* target,
           const std::function<void(const std::uint8_t*, std::size_t)>& harness) {
    int inputs = 0;
    for (const char* kind : {"seeds", "crashes"}) {
        const fs::path folder = fs::path(AXLUMORA_TEST_DATA_DIR) / kind / target;
        if (!fs::is_directory(folder)) continue;
        for (const auto& entry : fs::directory_iterator(folder)) {
            SCOPED_TRACE(entry.path().string());
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                                 std::istreambuf_iterator<char>());
            harness(data.data(), data.size());
            ++inputs;
        }
    }
    return inputs;
}

}  // namespace

TEST(FuzzFindings, CorrectionFiles) {
    EXPECT_GT(Replay("FuzzCorrectionFile", fuzz::CorrectionFileInput), 0);
}
TEST(FuzzFindings, RawFiles) { EXPECT_GT(Replay("FuzzRawFile", fuzz::RawFileInput), 0); }
TEST(FuzzFindings, RegistryTexts) {
    EXPECT_GT(Replay("FuzzRegistryText", fuzz::RegistryTextInput), 0);
}
TEST(FuzzFindings, Scripts) { EXPECT_GT(Replay("FuzzScript", fuzz::ScriptInput), 0); }

// Found by fuzzing: a record nested in a record was parsed before it was refused, so a deep
// enough nest overflowed the stack. Now the first inner '{' ends the line with an error.
TEST(FuzzFindings, DeeplyNestedRecordsAreAnErrorLine) {
    std::string script = "CreateBitmap ";
    for (int i = 0; i < 1000000; ++i) script += "{a=";
    std::vector<host::ScriptError> errors;
    EXPECT_TRUE(host::ParseScript(script, errors).empty());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].line(), 1);
    EXPECT_STREQ(errors[0].what(), "records cannot be nested");
}
