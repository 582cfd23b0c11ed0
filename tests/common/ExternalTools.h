// Independent tools the tests check our output with (dcmdump, dciodvfy, pngcheck, libtiff's and
// libjpeg's programs, the Python interpreter): whether one is installed, and its output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testsupport {

inline bool HaveTool(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command; its standard output and error together, and its exit status when asked.
inline std::string RunTool(const std::string& command, int* exitStatus = nullptr) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        if (exitStatus) *exitStatus = -1;
        return output;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = pclose(pipe);
    if (exitStatus) *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

}  // namespace testsupport
