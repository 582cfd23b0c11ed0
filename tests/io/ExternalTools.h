// Independent tools the codec tests check our files with (dcmdump, dciodvfy, pngcheck, libtiff's
// and libjpeg's programs): whether one is installed, and its output.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace iotest {

inline bool HaveTool(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command; its standard output and error together.
inline std::string RunTool(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    pclose(pipe);
    return output;
}

}  // namespace iotest
