// The demo's sample: a synthetic intra-oral sensor frame in the packed 12-bit format with its
// dark frame, and the correction file listing the defects the synthetic sensor really has.
// Deterministic: the same files every time.
#pragma once

#include <string>

namespace host {

struct DemoSample {
    int width = 0;
    int height = 0;
    std::string framePath;       // packed 12-bit, first row = bottom row of the image
    std::string darkPath;        // the same format, taken without exposure
    std::string correctionPath;  // "X Y Kind" lines: bad pixels, one bad column, one bad row
};

// Writes the three files into `folder`; throws std::runtime_error when a file cannot be written.
DemoSample WriteDemoSample(const std::string& folder);

}  // namespace host
