// The host's script language: one statement a line.
//
//   Member arg…              call a method, or read a property (no arguments)
//   Member arg… > NAME       the same; the Value, a byte array, becomes buffer NAME
//   Member = value           write a property
//   buffer NAME < FILE       load a file into a host buffer
//   buffer NAME = SIZE       a host buffer of SIZE zeroed bytes
//   save NAME > FILE         write a host buffer to a file
//   snapshot FILE.png, paint, resize, scroll, wheel, mouse…, click, dblclick, key
//                            drive the control's form (host/FormStatements.h)
//
// Literals: "strings" with \" \\ \n \t escapes, decimal and 0x integers (optionally negative),
// floats (1.5, -2e3), true/false, &NAME (a buffer's address), @NAME (a copy of a buffer as a
// byte array), {Field=value, …} (a record).
// '#' starts a comment outside quotes. The parser knows nothing of the control's members;
// checking names and argument counts is the runner's job.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace host {

struct Literal {
    enum class Kind { Integer, Float, String, Boolean, BufferAddress, BufferArray, Record };

    // Out of line, where Literal is complete: fields holds Literals, and clang with libstdc++
    // refuses to make the constructor here.
    Literal();

    Kind kind = Kind::Integer;
    // Integer: magnitude and sign kept apart so that the full unsigned 64-bit range (0x…) and
    // the full signed range both fit.
    std::uint64_t magnitude = 0;
    bool negative = false;
    double real = 0.0;
    bool boolean = false;
    std::string text;  // String: the decoded text; BufferAddress, BufferArray: the buffer's name
    std::vector<std::pair<std::string, Literal>> fields;  // Record
    std::string spelling;                                 // as written in the script, for messages

    // The integer as int64 when it fits.
    std::optional<std::int64_t> AsInt64() const;
};

struct Statement {
    enum class Kind { Call, PropertyPut, BufferLoad, BufferAlloc, BufferSave, Form };

    Kind kind = Kind::Call;
    int line = 0;
    std::string member;  // Call, PropertyPut; Form: the keyword
    std::vector<Literal>
        args;            // Call: the arguments; PropertyPut: the one value; Form: checked values
    std::string buffer;  // Buffer*: its name; Call: the buffer that takes the Value (> NAME)
    std::string path;    // BufferLoad, BufferSave, Form (snapshot)
    std::uint64_t size = 0;  // BufferAlloc
    std::string source;      // the statement's text without comment, trimmed
};

// A fault in the script text; `line` is 1-based (0 when not tied to a line).
class ScriptError : public std::runtime_error {
public:
    ScriptError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// Parses one line; nothing for a blank or comment-only line. Throws ScriptError.
std::optional<Statement> ParseLine(std::string_view text, int line);

// Parses a whole script. Every faulty line is reported: the errors come back in `errors`
// (in line order) and the statements of the good lines are returned.
std::vector<Statement> ParseScript(std::string_view text, std::vector<ScriptError>& errors);

// One literal, alone (e.g. a command-line argument); throws ScriptError when `text` is not
// exactly one literal.
Literal ParseLiteral(std::string_view text, int line = 0);

// Quotes text as a string literal that ParseLiteral reads back unchanged.
std::string QuoteString(std::string_view text);

}  // namespace host
