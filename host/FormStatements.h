// Statements that drive the control's form as a user and a screen would: window messages sent
// through the platform's SendMessage, and snapshots of what the client area shows. The form is
// reached the way a container reaches it: IOleWindow::GetWindow on the control.
//
//   snapshot FILE.png          pending paints run, then the client area is written as a PNG
//   paint                      runs pending paints (what an idle message loop does)
//   resize W H                 WM_SIZE: the new client size
//   scroll h|v POS             WM_HSCROLL / WM_VSCROLL to a thumb position (or top, bottom,
//                              lineup, linedown, pageup, pagedown)
//   wheel DELTA                WM_MOUSEWHEEL (120 is one notch away from the user)
//   mousedown BUTTON X Y       BUTTON: left, right or middle; X, Y in client coordinates
//   mousemove X Y              the buttons still held go along in the key state
//   mouseup BUTTON X Y
//   click X Y                  left button down and up
//   dblclick X Y               down, up, double click, up
//   key CHAR                   WM_CHAR: a one-character string ("a", "#"), a bare character
//                              (a, 5), or a character code of two or more digits (13, 0x1B)
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/ScriptParser.h"
#include "platform/automation/Unknown.h"

namespace host {

// True when `word` starts a form statement.
bool IsFormStatement(std::string_view word);

// Parses the words after the keyword into a Statement of kind Form; every value is checked here,
// so running one only fails on the host's side (no form, unwritable file). Throws ScriptError.
Statement ParseFormStatement(const std::string& keyword, std::string_view rest,
                             std::string_view source, int line);

// Runs form statements against one control; remembers which mouse buttons are held, so moves
// and releases carry the key state a real mouse would.
class FormDriver {
public:
    // The text printed for the statement. Throws ScriptError on a host fault.
    std::string Execute(IDispatch* control, const Statement& statement);

private:
    unsigned heldButtons_ = 0;  // MK_ bits
};

// Writes 0x00RRGGBB pixels as an 8-bit RGB PNG; false with `error` set when it cannot.
bool WritePng(const std::string& path, const std::uint32_t* pixels, int width, int height,
              std::string& error);

}  // namespace host
