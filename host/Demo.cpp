#include "host/Demo.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "host/ScriptRunner.h"

namespace host {

namespace {

// One step of the demo: a script statement (may use ${OUT} for the output folder), or none
// while the member it needs is not built yet.
struct DemoStep {
    std::string_view title;
    std::string_view statement;
};

constexpr DemoStep kDemoSteps[] = {
    {"create a 640 x 480 16-bit grey image", "CreateBitmap 640 480 16 2"},
    {"bits per pixel", "BitmapBits"},
    {"width", "BitmapWidth"},
    {"height", "BitmapHeight"},
    {"grey scale?", "IsGrayscale"},
    {"fill with grey level 30000", "Fill 0x04007530  # 0x04000000 | 30000: a grey level, not RGB"},
    {"invert", "Invert"},
    {"flip top to bottom", "Flip"},
    {"mirror left to right", "VerticalMirror"},
    {"rotate by 90 degrees", "FastRotate 90"},
    {"perspective of the view", "InfoViewPerspective"},
    {"width after rotating", "BitmapWidth"},
    {"set the horizontal resolution", "BitmapXRes = 300"},
    {"horizontal resolution", "BitmapXRes"},
    {"bitmap handle", "Bitmap"},
    {"method errors switch", "EnableMethodErrors = true"},
    // The acquisition pipeline: each step gets its statement when its members are built.
    {"LoadBuffer_NormalAndDark: synthetic 12-bit frame and dark frame", {}},
    {"ApplyCorrectionFile: defective pixels, column and row", {}},
    {"OptimizeImage: contrast", {}},
    {"UnsharpMask", {}},
    {"AddTextToBottom: caption band", {}},
    {"RenderRuler", {}},
    {"PutSymbolOnLead_16Bit", {}},
    {"SAVE as DICOM RLE", {}},
    {"SAVE the preview", {}},
};

std::string Substitute(std::string_view text, const std::string& outDir) {
    std::string result(text);
    constexpr std::string_view kOut = "${OUT}";
    for (std::size_t at = result.find(kOut); at != std::string::npos; at = result.find(kOut, at)) {
        result.replace(at, kOut.size(), outDir);
        at += outDir.size();
    }
    return result;
}

std::string Column(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

}  // namespace

int RunDemo(const std::string& libraryPath, const std::string& outDir, std::ostream& out,
            std::ostream& err) {
    // Every statement is checked before the control is created.
    std::vector<Statement> statements;
    for (std::size_t i = 0; i < std::size(kDemoSteps); ++i) {
        if (kDemoSteps[i].statement.empty()) continue;
        try {
            if (auto st = ParseLine(Substitute(kDemoSteps[i].statement, outDir),
                                    static_cast<int>(i + 1)))
                statements.push_back(std::move(*st));
        } catch (const ScriptError& e) {
            err << "demo step " << e.line() << ": " << e.what() << '\n';
            return 2;
        }
    }
    const std::vector<ScriptError> problems = CheckScript(statements);
    for (const ScriptError& e : problems) err << "demo step " << e.line() << ": " << e.what() << '\n';
    if (!problems.empty()) return 2;

    // The output folder is made only when a step writes there.
    const bool writesFiles = std::any_of(std::begin(kDemoSteps), std::end(kDemoSteps),
                                         [](const DemoStep& s) {
                                             return s.statement.find("${OUT}") != std::string_view::npos;
                                         });
    if (writesFiles) {
        std::error_code ec;
        std::filesystem::create_directories(outDir, ec);
        if (ec) {
            err << "axlumora demo: cannot create " << outDir << ": " << ec.message() << '\n';
            return 2;
        }
    }

    HostSession session(out);
    std::string error;
    if (!session.Open(libraryPath, false, error)) {
        err << "axlumora demo: " << error << '\n';
        return 3;
    }
    out << "axLumora demo (library " << libraryPath << ", output folder " << outDir << ")\n";

    int exitCode = 0;
    std::size_t next = 0;
    int notBuilt = 0;
    for (std::size_t i = 0; i < std::size(kDemoSteps); ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "%3zu  ", i + 1);
        const DemoStep& step = kDemoSteps[i];
        if (step.statement.empty()) {
            out << number << Column(std::string(step.title), 46) << "skipped (not built yet)\n";
            ++notBuilt;
            continue;
        }
        if (exitCode != 0) {
            out << number << Column(std::string(step.title), 46) << "not run (an earlier step failed)\n";
            ++next;
            continue;
        }
        const Statement& st = statements[next++];
        try {
            const CallOutcome outcome = session.runner().Execute(st);
            char time[24];
            std::snprintf(time, sizeof time, "%9.2f ms", outcome.milliseconds);
            std::string call = st.kind == Statement::Kind::PropertyPut ? outcome.text
                                                                       : st.member + " -> " + outcome.valueText;
            out << number << Column(std::string(step.title), 46) << Column(call, 34) << time
                << '\n';
            if (outcome.status == CallOutcome::Status::Failed) exitCode = 1;
        } catch (const ScriptError& e) {
            out << number << Column(std::string(step.title), 46) << "host error: " << e.what()
                << '\n';
            exitCode = 2;
        }
    }
    out << "\nThe acquisition pipeline (raw frame -> correction -> optimisation -> sharpening -> "
           "caption, ruler and lead symbol -> DICOM and preview files) arrives with later work; its steps are "
           "listed as \"skipped (not built yet)\" ("
        << notBuilt << " of " << std::size(kDemoSteps) << " steps).\n";
    out.flush();
    session.Close();
    return exitCode;
}

}  // namespace host
