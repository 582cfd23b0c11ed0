// Runs script statements against the control: binds each member late (GetIDsOfNames), calls it
// through IDispatch::Invoke, and prints the outcome. Also owns the host memory buffers that
// statements pass by address, and the session that ties library, control and event sink
// together in the right order.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "control/MemberTable.h"
#include "host/ControlLoader.h"
#include "host/EventSink.h"
#include "host/FormStatements.h"
#include "host/ScriptParser.h"
#include "platform/handles/MemoryRegions.h"

namespace host {

// The member-table entry a statement binds to, or a ScriptError with a message that says why
// none fits (unknown name, wrong kind of access, wrong number of arguments).
const EntryInfo& ResolveEntry(const Statement& statement);

// Checks every statement before anything runs: members, argument counts, record arguments,
// buffers named before they are defined, buffer sizes.
std::vector<ScriptError> CheckScript(const std::vector<Statement>& statements);

// Buffers larger than this are refused: the interface passes sizes as 32-bit integers.
constexpr std::uint64_t kMaxBufferSize = 0x7FFFFFFFull;

struct CallOutcome {
    enum class Status { Ok, Failed };
    Status status = Status::Ok;
    std::string text;       // the line printed for the statement
    std::string valueText;  // the Value alone (or the failure), for compact listings
    HRESULT hr = S_OK;
    double milliseconds = 0.0;  // time spent in Invoke
};

class ScriptRunner {
public:
    ScriptRunner() = default;
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    void SetControl(IDispatch* control) { control_ = control; }

    // Runs one statement. Host faults (unreadable file, a value that does not fit a by-ref
    // parameter, an unknown buffer) throw ScriptError; failing calls come back as Failed.
    CallOutcome Execute(const Statement& statement);

    // Runs the statements in order, printing each outcome to `out` and script faults to `err`
    // as "NAME:LINE: message". Returns 0 when every call succeeded, 1 when a call failed (the
    // run stops there unless keepGoing), 2 on a script fault (always stops).
    int Run(const std::vector<Statement>& statements, bool keepGoing, const std::string& sourceName,
            std::ostream& out, std::ostream& err);

    const std::vector<std::uint8_t>* FindBuffer(const std::string& name) const;

private:
    CallOutcome Call(const Statement& statement);
    std::string BufferStatement(const Statement& statement);
    void DefineBuffer(const std::string& name, std::vector<std::uint8_t> data);
    void KeepArray(const Statement& statement, const VARIANT& value, CallOutcome& outcome);

    IDispatch* control_ = nullptr;
    std::map<std::string, std::vector<std::uint8_t>> buffers_;
    // Buffers replaced by a later definition: kept until the run ends, since the control may
    // still hold their addresses.
    std::vector<std::vector<std::uint8_t>> retired_;
    // Every buffer above is a known memory region while it lives, so the control can refuse a
    // frame that would read past a buffer's end. Declared last: forgotten before freed.
    std::vector<MemoryRegionRegistration> regions_;
    FormDriver form_;
};

// One control session: library loaded, control created, optionally an event sink advised.
// Closing releases in the order the control needs: the control goes first (its destroy handler
// may still fire OnDestroy to the sink), then the library is unloaded if it agrees, and the
// buffers and sink go last.
class HostSession {
public:
    explicit HostSession(std::ostream& out) : out_(out) {}
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;
    ~HostSession() { Close(); }

    bool Open(const std::string& libraryPath, bool events, std::string& error);
    void Close();

    ScriptRunner& runner() { return *runner_; }

private:
    std::ostream& out_;
    std::unique_ptr<EventSink> sink_;
    std::unique_ptr<ScriptRunner> runner_ = std::make_unique<ScriptRunner>();
    EventConnection connection_;
    ControlLoader loader_;
};

}  // namespace host
