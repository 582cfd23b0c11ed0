// The debug-output channel: to a capture, or appended to the file named by the environment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/debug/DebugOutput.h"
#include "tests/common/TestFiles.h"

namespace {

class DebugOutput : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = (dir_ / "debug.log").string();
        output_.emplace("AXLUMORA_DEBUG_OUTPUT", file_);
        previous_ = SetDebugOutputCapture(nullptr);
    }
    void TearDown() override {
        SetDebugOutputCapture(std::move(previous_));
        output_.reset();
    }
    std::string FileText() const {
        std::stringstream ss;
        ss << std::ifstream(file_, std::ios::binary).rdbuf();
        return ss.str();
    }

    testsupport::ScratchFolder dir_{"debugout"};
    std::string file_;
    std::optional<testsupport::ScopedEnvironment> output_;
    DebugOutputCapture previous_;
};

TEST_F(DebugOutput, CaptureTakesEverythingWhileInstalled) {
    std::vector<std::string> seen;
    SetDebugOutputCapture([&](const std::string& s) { seen.push_back(s); });
    OutputDebugStringA("one\n");
    OutputDebugStringA(nullptr);
    OutputDebugStringA("");
    EXPECT_EQ(seen, (std::vector<std::string>{"one\n", ""}));
    EXPECT_FALSE(std::filesystem::exists(file_));  // nothing reached the file

    // A capture that throws or swaps itself out must not hurt the caller.
    SetDebugOutputCapture([](const std::string&) { throw std::runtime_error("capture failed"); });
    EXPECT_NO_THROW(OutputDebugStringA("x"));
    SetDebugOutputCapture([&](const std::string& s) {
        seen.push_back(s);
        SetDebugOutputCapture(nullptr);
    });
    OutputDebugStringA("last\n");
    OutputDebugStringA("to file\n");
    EXPECT_EQ(seen.back(), "last\n");
    EXPECT_EQ(FileText(), "to file\n");
}

TEST_F(DebugOutput, AppendsToTheNamedFileWithoutBuffering) {
    OutputDebugStringA("first\n");
    EXPECT_EQ(FileText(), "first\n");  // visible before any later call or exit
    OutputDebugStringA(nullptr);
    OutputDebugStringA("second\n");
    EXPECT_EQ(FileText(), "first\nsecond\n");
}

TEST_F(DebugOutput, ConcurrentLinesStayWhole) {
    constexpr int kThreads = 4, kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string line = std::string(500, static_cast<char>('a' + t)) + "\n";
            for (int i = 0; i < kLines; ++i) OutputDebugStringA(line.c_str());
        });
    }
    for (auto& th : threads) th.join();
    std::istringstream in(FileText());
    int count = 0;
    for (std::string line; std::getline(in, line); ++count) {
        ASSERT_EQ(line.size(), 500u);
        EXPECT_EQ(std::set<char>(line.begin(), line.end()).size(), 1u) << "interleaved line";
    }
    EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
