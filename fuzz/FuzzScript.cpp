// Any bytes as a host script: parsed and checked (every fault an error line with its line
// number), then, when it checks, run against a real control.
//
// What a run may do is bounded here, not in the host: scripts of at most 4 KiB and 24 statements;
// numbers of at most 4096 (image sizes, counts, form coordinates) and buffers of at most 1 MiB, so
// no statement can ask for gigabytes or minutes (Load's retry waits are skipped); file names
// without a '/', resolved in the scratch folder that is the working directory while a script
// runs (emptied before), so nothing is read or written outside it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string_view>

#include "fuzz/FuzzControl.h"
#include "fuzz/Harnesses.h"
#include "host/ScriptParser.h"
#include "host/ScriptRunner.h"
#include "io/FileIo.h"

namespace {

constexpr std::size_t kMaxStatements = 24;
constexpr std::uint64_t kMaxNumber = 4096;
constexpr std::uint64_t kMaxBuffer = 1u << 20;

bool StaysInScratch(std::string_view name) { return name.find('/') == std::string_view::npos; }

bool Bounded(const host::Literal& literal) {
    switch (literal.kind) {
        case host::Literal::Kind::Integer: return literal.magnitude <= kMaxNumber;
        case host::Literal::Kind::Float:
            return !(literal.real > kMaxNumber || literal.real < -double(kMaxNumber));
        case host::Literal::Kind::String: return StaysInScratch(literal.text);
        case host::Literal::Kind::Record:
            for (const auto& field : literal.fields)
                if (!Bounded(field.second)) return false;
            return true;
        default: return true;
    }
}

bool Bounded(const host::Statement& statement) {
    if (!StaysInScratch(statement.path) || statement.size > kMaxBuffer) return false;
    for (const host::Literal& literal : statement.args)
        if (!Bounded(literal)) return false;
    return true;
}

void EmptyScratch() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(fuzz::Scratch().path(), ec))
        std::filesystem::remove_all(entry.path(), ec);
}

}  // namespace

void fuzz::ScriptInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<host::ScriptError> errors;
    const std::vector<host::Statement> statements = host::ParseScript(text, errors);
    for (const host::ScriptError& e : host::CheckScript(statements)) errors.push_back(e);
    for (const host::ScriptError& e : errors)
        if (std::string_view(e.what()).empty() || e.line() < 0) std::abort();
    if (!errors.empty() || size > 4096 || statements.size() > kMaxStatements) return;
    for (const host::Statement& statement : statements)
        if (!Bounded(statement)) return;

    // The fuzzer's own corpus paths are relative: back to its folder once the script has run.
    static const std::filesystem::path home = std::filesystem::current_path();
    if (::chdir(fuzz::Scratch().path().c_str()) != 0) std::abort();
    EmptyScratch();
    // Load retries a file that fails for 5.5 s; the waits are what would take the time.
    static const bool noWaits = (io::SetLoadRetryWaitForTesting([](int) {}), true);
    (void)noWaits;
    ComPtr<IaxLumora> control = fuzz::NewControl();
    {
        host::ScriptRunner runner;
        runner.SetControl(control.get());
        std::ostringstream out, err;
        runner.Run(statements, true, "fuzz", out, err);
    }
    if (::chdir(home.c_str()) != 0) std::abort();
}

AXLUMORA_FUZZ_ENTRY(fuzz::ScriptInput)
