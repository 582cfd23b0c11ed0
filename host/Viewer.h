// `axlumora view [FILE]`: a small image viewer on the Qt backend of the form layer. It is a host
// like any other: it creates the control from the library, places the control's widget in its
// window and does everything else through IaxLumora and the control's events.
#pragma once

#include <string>
#include <vector>

namespace host {

// Runs the viewer until its window closes; `args` are the words after `view`. Returns the
// process exit code.
int RunViewer(const std::string& libraryPath, const std::vector<std::string>& args);

}  // namespace host
