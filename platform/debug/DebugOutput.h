// The debug-output channel. OutputDebugStringA appends the text to the file named by
// $AXLUMORA_DEBUG_OUTPUT, or else writes it to standard error; nothing is buffered. Tests
// install an in-process capture instead.
#pragma once

#include <functional>
#include <string>

void OutputDebugStringA(const char* lpOutputString);

// While a capture is installed, every line goes to it and nowhere else. Returns the previous one.
using DebugOutputCapture = std::function<void(const std::string&)>;
DebugOutputCapture SetDebugOutputCapture(DebugOutputCapture capture);
