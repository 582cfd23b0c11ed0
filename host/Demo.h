// `axlumora demo`: the acquisition pipeline on a sample sensor frame the host generates itself.
#pragma once

#include <ostream>
#include <string>

namespace host {

// Runs the demo steps against the library at `libraryPath`; files go to `outDir` (created when
// missing). Returns the process exit code.
int RunDemo(const std::string& libraryPath, const std::string& outDir, std::ostream& out,
            std::ostream& err);

}  // namespace host
