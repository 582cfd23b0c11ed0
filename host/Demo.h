// `axlumora demo`: a short tour of the control on an image it creates itself.
#pragma once

#include <ostream>
#include <string>

namespace host {

// Runs the demo steps against the library at `libraryPath`; files go to `outDir` (created when
// missing). Returns the process exit code.
int RunDemo(const std::string& libraryPath, const std::string& outDir, std::ostream& out,
            std::ostream& err);

}  // namespace host
