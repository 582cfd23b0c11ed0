// Runs the built `axlumora` binary as a child process with an environment of the test's
// choosing, and collects its exit code, standard output and standard error.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>
#include "tests/common/TestFiles.h"

extern char** environ;

struct HostResult {
    int exitCode = -1;
    std::string out;
    std::string err;

    std::vector<std::string> outLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = HostBinary();
        ASSERT_TRUE(std::filesystem::exists(host_))
            << "no host binary at '" << host_ << "' (set AXLUMORA_HOST)";
        ASSERT_TRUE(scratch_.ok());
        dir_ = scratch_.path();
        // A registry of our own (absent until a test writes it) and the debug output in a file,
        // so nothing of the user's settings or of other tests leaks in.
        env_["AXLUMORA_REGISTRY"] = (dir_ / "registry.reg").string();
        env_["AXLUMORA_DEBUG_OUTPUT"] = (dir_ / "debug.txt").string();
    }
    std::filesystem::path Path(const std::string& name) const { return dir_ / name; }

    void WriteFile(const std::string& name, const std::string& content) const {
        std::ofstream out(Path(name), std::ios::binary);
        out << content;
    }
    std::optional<std::string> ReadFile(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        if (!in) return std::nullopt;
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // nullopt removes the variable from the child's environment.
    void SetEnv(const std::string& name, std::optional<std::string> value) { env_[name] = value; }

    HostResult Run(const std::vector<std::string>& args, const std::string& input = {}) {
        HostResult result;
        WriteFile("stdin.txt", input);
        const std::string inPath = Path("stdin.txt"), outPath = Path("stdout.txt"),
                          errPath = Path("stderr.txt");

        std::map<std::string, std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            const auto eq = entry.find('=');
            if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
        for (const auto& [name, value] : env_) {
            if (value) env[name] = *value;
            else env.erase(name);
        }
        std::vector<std::string> envText;
        for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& s : envText) envp.push_back(s.data());
        envp.push_back(nullptr);

        std::vector<std::string> argText{host_};
        argText.insert(argText.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& s : argText) argv.push_back(s.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
        pid_t pid = 0;
        const int rc =
            posix_spawn(&pid, host_.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(rc, 0) << "cannot start " << host_;
        if (rc != 0) return result;
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = ReadFile("stdout.txt").value_or("");
        result.err = ReadFile("stderr.txt").value_or("");
        return result;
    }

    HostResult RunScript(const std::string& script, std::vector<std::string> options = {}) {
        WriteFile("script.txt", script);
        std::vector<std::string> args{"run", "script.txt"};
        args.insert(args.end(), options.begin(), options.end());
        return Run(args);
    }

    // $AXLUMORA_HOST, else the host this test program was built with, else the host in the build
    // tree beside this test program (build/tests/ and build/host/); the host then finds the
    // library it was built with.
    static std::string HostBinary() {
        if (const char* host = std::getenv("AXLUMORA_HOST"); host && *host) return host;
#ifdef AXLUMORA_HOST_PATH
        return AXLUMORA_HOST_PATH;
#endif
        std::error_code ec;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (ec) return {};
        return (self.parent_path().parent_path() / "host" / "axlumora").string();
    }

    std::string host_;
    testsupport::ScratchFolder scratch_{"host"};
    std::filesystem::path dir_;
    std::map<std::string, std::optional<std::string>> env_;
};
