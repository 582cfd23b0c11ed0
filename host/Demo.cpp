#include "host/Demo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "host/DemoSample.h"
#include "host/ScriptRunner.h"

namespace host {

namespace {

// One step of the acquisition pipeline: a script statement that may use ${OUT} (the output
// folder), ${W} and ${H} (the sample's size). A step whose member is not built yet answers
// E_NOTIMPL and is listed as skipped.
struct DemoStep {
    std::string_view title;
    std::string_view statement;
};

constexpr DemoStep kDemoSteps[] = {
    {"sensor frame into host memory", "buffer normal < ${OUT}/sensor-frame.raw"},
    {"dark frame into host memory", "buffer dark < ${OUT}/dark-frame.raw"},
    {"load, subtract the dark frame", "LoadBuffer_NormalAndDark &normal &dark \"\" ${W} ${H} 0"},
    // The raw frame carries no geometry; the host knows its sensor's pixel pitch and says so, so
    // that the DICOM file states 0.02 mm and measurements on it are true.
    {"sensor pitch across: 20 um = 1270 dpi", "BitmapXRes = 1270"},
    {"sensor pitch down: 20 um = 1270 dpi", "BitmapYRes = 1270"},
    {"correct the sensor's defects",
     "ApplyCorrectionFile \"${OUT}/sensor-defects.txt\" \"${OUT}/correction.log\" false 0"},
    {"optimise the contrast", "OptimizeImage \"\" 0 0 1 1 0 0"},
    {"sharpen", "UnsharpMask 5 5"},
    // The sensor counts more where more radiation arrives; clinicians read a radiograph with
    // enamel, dentine and fillings bright and air dark.
    {"radiographic polarity: dense tissue bright", "Invert"},
    {"caption below the image",
     "AddTextToBottom \"axLumora demo - synthetic intra-oral frame\" true true 0"},
    {"centimetre ruler (20 um pixels)", "RenderRuler 50000 1"},
    {"lead symbol", "PutSymbolOnLead_16Bit 0 0 0"},
    {"save as DICOM, RLE", "SAVE \"${OUT}/demo.dcm\" 125 16 -1 0"},
    {"save the preview", "SAVE \"${OUT}/demo-preview.png\" 75 8 0 0"},
};

std::string Substitute(std::string_view text, std::string_view name, const std::string& value) {
    std::string result(text);
    for (std::size_t at = result.find(name); at != std::string::npos; at = result.find(name, at)) {
        result.replace(at, name.size(), value);
        at += value.size();
    }
    return result;
}

std::string Expand(std::string_view statement, const std::string& outDir,
                   const DemoSample& sample) {
    std::string text = Substitute(statement, "${OUT}", outDir);
    text = Substitute(text, "${W}", std::to_string(sample.width));
    return Substitute(text, "${H}", std::to_string(sample.height));
}

std::string Column(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

}  // namespace

int RunDemo(const std::string& libraryPath, const std::string& outDir, std::ostream& out,
            std::ostream& err) {
    DemoSample sample;
    const auto started = std::chrono::steady_clock::now();
    try {
        sample = WriteDemoSample(outDir);
    } catch (const std::exception& e) {
        err << "axlumora demo: " << e.what() << '\n';
        return 2;
    }
    const double sampleMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();

    // Every statement is checked before the control is created.
    std::vector<Statement> statements;
    for (std::size_t i = 0; i < std::size(kDemoSteps); ++i) {
        try {
            if (auto st = ParseLine(Expand(kDemoSteps[i].statement, outDir, sample),
                                    static_cast<int>(i + 1)))
                statements.push_back(std::move(*st));
        } catch (const ScriptError& e) {
            err << "demo step " << e.line() << ": " << e.what() << '\n';
            return 2;
        }
    }
    const std::vector<ScriptError> problems = CheckScript(statements);
    for (const ScriptError& e : problems)
        err << "demo step " << e.line() << ": " << e.what() << '\n';
    if (!problems.empty()) return 2;

    HostSession session(out);
    std::string error;
    if (!session.Open(libraryPath, false, error)) {
        err << "axlumora demo: " << error << '\n';
        return 3;
    }
    out << "axLumora demo: the acquisition pipeline on a synthetic " << sample.width << " x "
        << sample.height << " intra-oral sensor frame\n";
    char line[64];
    std::snprintf(line, sizeof line, "%9.2f ms", sampleMs);
    out << "  0  " << Column("generate the sample frame, dark frame, defects", 46)
        << Column("(host)", 34) << line << '\n';

    int exitCode = 0;
    int skipped = 0;
    for (std::size_t i = 0; i < statements.size(); ++i) {
        const Statement& st = statements[i];
        char number[32];
        std::snprintf(number, sizeof number, "%3zu  ", i + 1);
        const std::string title = Column(std::string(kDemoSteps[i].title), 46);
        if (exitCode != 0) {
            out << number << title << "not run (an earlier step failed)\n";
            continue;
        }
        try {
            const CallOutcome outcome = session.runner().Execute(st);
            if (outcome.hr == E_NOTIMPL) {
                out << number << title << Column(st.member, 34) << "skipped (not built yet)\n";
                ++skipped;
                continue;
            }
            char time[24];
            std::snprintf(time, sizeof time, "%9.2f ms", outcome.milliseconds);
            const bool call = st.kind == Statement::Kind::Call;
            out << number << title
                << Column(call ? st.member + " -> " + outcome.valueText : outcome.text, 34)
                << (call ? time : "") << '\n';
            if (outcome.status == CallOutcome::Status::Failed) exitCode = 1;
        } catch (const ScriptError& e) {
            out << number << title << "host error: " << e.what() << '\n';
            exitCode = 2;
        }
    }
    out << "\nFiles in " << outDir << ": sensor-frame.raw, dark-frame.raw, sensor-defects.txt"
        << " (the sample), correction.log, demo.dcm (DICOM, RLE), demo-preview.png";
    if (skipped) out << "\n" << skipped << " step(s) skipped: their members are not built yet";
    out << '\n';
    out.flush();
    session.Close();
    return exitCode;
}

}  // namespace host
