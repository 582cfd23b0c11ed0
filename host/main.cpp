// axlumora: the command-line host of the axLumora control. It creates the control from the
// library's class factory and drives it by late binding (GetIDsOfNames + Invoke), as any
// automation host does.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "axlumora/Version.h"
#include "control/MemberTable.h"
#include "host/ControlLoader.h"
#include "host/Demo.h"
#include "host/MemberReference.h"
#include "host/ScriptParser.h"
#include "host/ScriptRunner.h"
#include "host/Viewer.h"

namespace {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitCallFailed = 1;
constexpr int kExitUsage = 2;  // bad command line, script faults
constexpr int kExitNoControl = 3;

constexpr const char* kHelp = R"(usage: axlumora [--library PATH] COMMAND [ARGS]

Commands:
  members                      list the entry points of IaxLumora in vtable order (slot,
                               DISPID, entry, kind, parameters, Value), then the events
  members --markdown           the reference of every member (docs/members.md)
  codes                        the engine's status codes: code, name, meaning
  call MEMBER [ARG...]         call one member (a property without arguments is read)
  call MEMBER = VALUE          write one property
  run SCRIPT [--events] [--keep-going]
                               run a script file, '-' for standard input
  demo [--out DIR]             the acquisition pipeline on a synthetic sensor frame
  view [FILE] [OPTIONS]        show FILE in a window (Qt); 'axlumora view --help' for more
  help, --help                 this text

Options:
  --library PATH   the control's library (else $AXLUMORA_LIBRARY, else the library installed
                   with this host, else the library this host was built with, else
                   libaxlumora.so next to the executable)
  --events         print the events the control fires: event OnLog("text")
  --keep-going     run the rest of the script after a failing call; the exit code still
                   reports the failure (1) at the end
  --out DIR        the demo's output folder (default: demo-out)
  --version        this host's version and that of the library it loads

Script lines:
  Member arg...            call a method or read a property:  Member -> Value
  Member = value           write a property:                  Member = value
  Member arg... > NAME     call; the Value, a byte array, becomes buffer NAME:
                           SaveArray 1 8 0 > jpeg   then   save jpeg > out.jpg
  buffer NAME < FILE       load a file into a host buffer
  buffer NAME = SIZE       a host buffer of SIZE zeroed bytes
  save NAME > FILE         write a host buffer to a file
  snapshot FILE.png        run pending paints, write what the client area shows
  paint                    run pending paints
  resize W H               send the form WM_SIZE with a new client size
  scroll h|v POS           scroll to POS (or top, bottom, lineup, linedown, pageup, pagedown)
  wheel DELTA              a mouse-wheel turn (120 a notch)
  mousedown|mouseup left|right|middle X Y,  mousemove X Y,  click X Y,  dblclick X Y
                           mouse messages at client coordinates X, Y
  key CHAR                 a typed character: a, "#", or a code such as 13
  # comment                also after a statement, outside quotes
Values: "text" (escapes \" \\ \n \t), 42, -7, 0xFF, 1.5, 1e3, true/false (-1/0),
  &NAME (the buffer's address, 64-bit), @NAME (a copy of the buffer as a byte array:
  buffer f < in.dcm  then  LoadArray @f 0 0 0 1234), {Left=0, Top=0, Right=10, Bottom=10} (a record).
By-reference parameters are shown after the Value: SaveMemory -> 0 [phMem=4100, iSize=1234].
A failing call prints: Member !! 0xHRESULT message.

Exit codes: 0 every call succeeded; 1 a call failed; 2 usage or script error (unknown member,
wrong argument count, bad value, unknown buffer, unreadable file; nothing of a script runs when
it has a fault that can be seen before running); 3 the control could not be created.
)";

const char* KindName(EntryKind kind) {
    switch (kind) {
        case EntryKind::Method: return "method";
        case EntryKind::PropertyGet: return "propget";
        case EntryKind::PropertyPut: return "propput";
        case EntryKind::PropertyPutRef: return "propputref";
    }
    return "?";
}

int ListMembers(std::ostream& out) {
    out << "slot  dispid  entry                          kind        (parameters) -> Value\n";
    for (std::size_t i = 0; i < kIaxLumoraEntries.size(); ++i) {
        const EntryInfo& e = kIaxLumoraEntries[i];
        std::string params;
        for (int p = 0; p < e.paramCount; ++p) {
            if (p) params += ", ";
            params += ParamText(e.params[static_cast<std::size_t>(p)]);
        }
        const std::string value =
            e.hasValue() ? std::string(VarTypeName(e.valueVt)) + " " + e.valueName : "(no Value)";
        char line[96];
        std::snprintf(line, sizeof line, "%4zu  %6d  %-30s %-10s  ", kIDispatchEntryCount + i,
                      e.dispid, e.entry, KindName(e.kind));
        out << line << "(" << params << ") -> " << value << '\n';
    }
    out << "events (IaxLumoraEvents):\n";
    for (const EventInfo& ev : kIaxLumoraEvents) {
        std::string params;
        for (int p = 0; p < ev.paramCount; ++p) {
            if (p) params += ", ";
            params += ParamText(ev.params[static_cast<std::size_t>(p)]);
        }
        char line[64];
        std::snprintf(line, sizeof line, "      %6d  ", ev.dispid);
        out << line << ev.name << "(" << params << ")\n";
    }
    return kExitOk;
}

void PrintErrors(const std::string& source, std::vector<host::ScriptError> errors) {
    std::stable_sort(errors.begin(), errors.end(),
                     [](const auto& a, const auto& b) { return a.line() < b.line(); });
    for (const host::ScriptError& e : errors) {
        if (source == "call") std::cerr << "axlumora call: " << e.what() << '\n';
        else std::cerr << source << ":" << e.line() << ": " << e.what() << '\n';
    }
}

// Parse faults (`earlier`) and the faults the member table shows are reported together, and
// nothing runs when there is any.
int RunStatements(const std::vector<host::Statement>& statements, const std::string& source,
                  const std::string& library, bool events, bool keepGoing,
                  std::vector<host::ScriptError> earlier = {}) {
    std::vector<host::ScriptError> problems = host::CheckScript(statements);
    problems.insert(problems.begin(), earlier.begin(), earlier.end());
    if (!problems.empty()) {
        PrintErrors(source, problems);
        return kExitUsage;
    }
    host::HostSession session(std::cout);
    std::string error;
    if (!session.Open(library, events, error)) {
        std::cerr << "axlumora: " << error << '\n';
        return kExitNoControl;
    }
    const int code = session.runner().Run(statements, keepGoing, source, std::cout, std::cerr);
    session.Close();  // the destroy handler's events print before the process ends
    std::cout.flush();
    return code;
}

// `call MEMBER ARG...`: each argument is one value. The shell has already removed quotes, so a
// text that is no value is taken as a string where the parameter takes one.
int CallCommand(const std::vector<std::string>& args, const std::string& library, bool events) {
    if (args.empty()) {
        std::cerr << "axlumora call: which member? (see 'axlumora members')\n";
        return kExitUsage;
    }
    host::Statement st;
    st.line = 1;
    st.member = args[0];
    std::size_t first = 1;
    if (args.size() >= 2 && args[1] == "=") {
        st.kind = host::Statement::Kind::PropertyPut;
        first = 2;
        if (args.size() != 3) {
            std::cerr << "axlumora call: '" << st.member << " =' takes one value\n";
            return kExitUsage;
        }
    }
    const int method = FindEntryByName(st.member, EntryKind::Method);
    st.source = st.member;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::size_t position = i - first;
        try {
            st.args.push_back(host::ParseLiteral(args[i], 1));
        } catch (const host::ScriptError& e) {
            VARTYPE vt = VT_EMPTY;
            if (st.kind == host::Statement::Kind::PropertyPut) {
                const int put = FindEntryByName(st.member, EntryKind::PropertyPut);
                if (put >= 0) vt = kIaxLumoraEntries[static_cast<std::size_t>(put)].params[0].vt;
            } else if (method >= 0 && position < static_cast<std::size_t>(kMaxParams)) {
                vt = kIaxLumoraEntries[static_cast<std::size_t>(method)].params[position].vt;
            }
            if (vt != VT_BSTR && vt != VT_VARIANT) {
                std::cerr << "axlumora call: argument " << position + 1 << ": " << e.what() << '\n';
                return kExitUsage;
            }
            host::Literal text;
            text.kind = host::Literal::Kind::String;
            text.text = args[i];
            text.spelling = host::QuoteString(args[i]);
            st.args.push_back(std::move(text));
        }
        st.source += " " + st.args.back().spelling;
    }
    return RunStatements({st}, "call", library, events, false);
}

int RunCommand(const std::string& path, const std::string& library, bool events, bool keepGoing) {
    std::string text;
    std::string source = path;
    if (path == "-") {
        source = "<stdin>";
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << "axlumora run: cannot read " << path << '\n';
            return kExitUsage;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<host::ScriptError> errors;
    const std::vector<host::Statement> statements = host::ParseScript(text, errors);
    return RunStatements(statements, source, library, events, keepGoing, std::move(errors));
}

int PrintVersion(const std::string& library) {
    std::cout << "axlumora " << AXLUMORA_VERSION_STRING << '\n';
    const std::string loaded = host::ControlLoader::LibraryVersion(library);
    std::cout << "library " << (loaded.empty() ? "(not loadable)" : loaded) << ' ' << library
              << '\n';
    return kExitOk;
}

int Usage(const std::string& message) {
    std::cerr << "axlumora: " << message << "\n(see 'axlumora --help')\n";
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words;
    std::string libraryOption;
    bool version = false;
    std::string outDir = "demo-out";
    bool events = false;
    bool keepGoing = false;
    bool markdown = false;
    bool help = false;
    // Options may stand anywhere, except among the arguments of `call` after its member.
    std::string command;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // The viewer takes its own options.
        const bool inCall = (command == "call" && words.size() >= 2) || command == "view";
        if (!inCall && (arg == "--library" || arg == "--out")) {
            if (i + 1 >= argc) return Usage(arg + " needs a value");
            (arg == "--library" ? libraryOption : outDir) = argv[++i];
        } else if (!inCall && arg == "--events") {
            events = true;
        } else if (!inCall && arg == "--keep-going") {
            keepGoing = true;
        } else if (!inCall && arg == "--markdown") {
            markdown = true;
        } else if (!inCall && arg == "--version") {
            version = true;
        } else if (!inCall && (arg == "--help" || arg == "-h")) {
            help = true;
        } else if (!inCall && arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return Usage("unknown option " + arg);
        } else {
            words.push_back(arg);
            if (words.size() == 1) command = arg;
        }
    }
    if (help || command == "help") {
        std::cout << kHelp;
        return kExitOk;
    }
    if (version) return PrintVersion(host::ControlLoader::ResolveLibraryPath(libraryOption));
    if (command.empty()) return Usage("no command");

    const std::vector<std::string> rest(words.begin() + 1, words.end());
    const std::string library = host::ControlLoader::ResolveLibraryPath(libraryOption);
    if (command == "members") {
        if (!rest.empty()) return Usage("members takes no arguments");
        if (markdown) host::WriteMembersMarkdown(std::cout);
        return markdown ? kExitOk : ListMembers(std::cout);
    }
    if (command == "codes") {
        if (!rest.empty()) return Usage("codes takes no arguments");
        host::WriteStatusCodes(std::cout);
        return kExitOk;
    }
    if (command == "call") return CallCommand(rest, library, events);
    if (command == "view") {
#ifdef AXLUMORA_WITH_VIEWER
        return host::RunViewer(library, rest);
#else
        std::cerr << "axlumora view: this host was built without Qt\n";
        return kExitNoControl;
#endif
    }
    if (command == "run") {
        if (rest.size() != 1)
            return Usage("run takes one script (a file, or - for standard input)");
        return RunCommand(rest[0], library, events, keepGoing);
    }
    if (command == "demo") {
        if (!rest.empty()) return Usage("demo takes no arguments besides --out DIR");
        return host::RunDemo(library, outDir, std::cout, std::cerr);
    }
    return Usage("unknown command '" + command + "'");
}
