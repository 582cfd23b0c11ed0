// DICOM files as other toolkits read them: pixel spacing from the bitmap's resolution and back,
// our own identity and UIDs, pending tags written only as valid values, and the file's window
// shown through the paint window.
#include <gtest/gtest.h>

#include <gdcmAttribute.h>
#include <gdcmReader.h>
#include <gdcmSequenceOfItems.h>
#include <gdcmWriter.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Diagnostics.h"
#include "engine/Display.h"
#include "engine/File.h"
#include "engine/Kernel.h"
#include "engine/file/DicomValues.h"
#include "engine/file/Uid.h"
#include "tests/common/ExternalTools.h"
#include "tests/common/TestFiles.h"

using namespace filefmt;
using namespace cmnt;
using engine::file::DicomVr;
using engine::file::ToDicomValue;

namespace {

std::string TempPath(const std::string& name) { return testsupport::TempPath("dcmfault", name); }

using testsupport::HaveTool;
using testsupport::RunTool;

// The value dcmdump shows for a tag, e.g. "[0.02\0.02]" or "(no value available)"; empty when
// the tag is absent.
std::string DumpedValue(const std::string& dump, const char* tag) {
    std::istringstream lines(dump);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(tag, 0) != 0) continue;
        const std::size_t start = line.find(' ', std::string(tag).size() + 1);
        const std::size_t end = line.find(" #");
        std::string value = line.substr(start + 1, end - start - 1);
        while (!value.empty() && value.back() == ' ') value.pop_back();
        return value;
    }
    return {};
}

// dciodvfy's error lines, less the Intra-oral anatomy the control is never told.
std::vector<std::string> IodErrors(const std::string& path) {
    std::vector<std::string> errors;
    std::istringstream lines(RunTool("dciodvfy " + path));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("Error", 0) != 0) continue;
        if (line.find("Type 1C") != std::string::npos &&
            (line.find("<PatientOrientation>") != std::string::npos ||
             line.find("<AnatomicRegionModifierSequence>") != std::string::npos ||
             line.find("<PrimaryAnatomicStructureSequence>") != std::string::npos))
            continue;
        errors.push_back(line);
    }
    return errors;
}

void MakeGray12(ScopedBitmap& bitmap, int width, int height,
                const std::function<unsigned(int, int)>& value) {
    ASSERT_EQ(L_CreateBitmap(bitmap.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, width, height, 16,
                             ORDER_GRAY, nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(bitmap->Addr + y * bitmap->BytesPerLine);
        for (int x = 0; x < width; ++x) row[x] = static_cast<std::uint16_t>(value(x, y));
    }
    bitmap->LowBit = 0;
    bitmap->HighBit = 11;
}

int Load(const std::string& path, ScopedBitmap& loaded) {
    return L_LoadFile(path.c_str(), loaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_GRAY, 0,
                      nullptr, nullptr, nullptr, nullptr);
}

void SetComment(int index, const std::string& text) {
    ASSERT_GE(L_SetComment(index, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                           static_cast<unsigned>(text.size() + 1)),
              0);
}

std::vector<std::string>& ReportedLines() {
    static std::vector<std::string> lines;
    return lines;
}
void CaptureLine(std::string_view line) { ReportedLines().emplace_back(line); }

// Rewrites a DICOM file's top-level attributes through GDCM: text values set (an empty text
// removes the attribute).
void Rewrite(const std::string& path, const std::vector<std::pair<gdcm::Tag, std::string>>& texts,
             int pixelRepresentation = -1) {
    gdcm::Reader reader;
    reader.SetFileName(path.c_str());
    ASSERT_TRUE(reader.Read());
    gdcm::DataSet& ds = reader.GetFile().GetDataSet();
    for (const auto& [tag, text] : texts) {
        if (text.empty()) {
            ds.Remove(tag);
            continue;
        }
        gdcm::DataElement de(tag);
        de.SetVR(gdcm::VR::DS);
        std::string value = text.size() % 2 ? text + " " : text;
        de.SetByteValue(value.data(), static_cast<std::uint32_t>(value.size()));
        ds.Replace(de);
    }
    if (pixelRepresentation >= 0) {
        gdcm::Attribute<0x0028, 0x0103> representation{
            static_cast<unsigned short>(pixelRepresentation)};
        ds.Replace(representation.GetAsDataElement());
    }
    gdcm::Writer writer;
    writer.SetFile(reader.GetFile());
    writer.SetFileName(path.c_str());
    ASSERT_TRUE(writer.Write());
}

// The grey level painting shows for the bitmap's pixel (x, 0).
unsigned PaintedGrey(const BITMAPHANDLE& bitmap, int x) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(bitmap.Width) * bitmap.Height, 0);
    DeviceContext dc;
    AttachBuffer(&dc, pixels.data(), bitmap.Width, bitmap.Height, bitmap.Width);
    EXPECT_EQ(L_PaintDC(&dc, &bitmap, nullptr, nullptr, nullptr, nullptr, SRCCOPY), SUCCESS);
    return pixels[static_cast<std::size_t>(x)] & 0xFF;
}

const gdcm::Tag kWindowCenter(0x0028, 0x1050), kWindowWidth(0x0028, 0x1051);
const gdcm::Tag kRescaleIntercept(0x0028, 0x1052), kRescaleSlope(0x0028, 0x1053);

}  // namespace

// ---- pixel spacing ----

TEST(DicomSpacing, ResolutionIsWrittenRowFirstAndReadBack) {
    ScopedBitmap gray;
    MakeGray12(gray, 8, 4, [](int x, int y) { return x * 100 + y; });
    gray->XResolution = 1270;  // 20 µm columns
    gray->YResolution = 635;   // 40 µm rows
    const std::string path = TempPath("spacing.dcm");
    ASSERT_EQ(L_SaveBitmap(path.c_str(), gray.get(), FILE_DICOM_GRAY, 0, 0, nullptr), SUCCESS);
    ScopedBitmap loaded;
    ASSERT_EQ(Load(path, loaded), SUCCESS);
    EXPECT_EQ(loaded->XResolution, 1270);
    EXPECT_EQ(loaded->YResolution, 635);
    FILEINFO info{};
    ASSERT_EQ(L_FileInfo(path.c_str(), &info, FILEINFO_STRUCT_SIZE, 0, nullptr), SUCCESS);
    EXPECT_EQ(info.XResolution, 1270);
    EXPECT_EQ(info.YResolution, 635);
    if (HaveTool("dcmdump")) {
        EXPECT_EQ(DumpedValue(RunTool("dcmdump " + path), "(0018,1164)"), "[0.04\\0.02]");
    }
    if (HaveTool("dciodvfy")) {
        EXPECT_TRUE(IodErrors(path).empty()) << RunTool("dciodvfy " + path);
    }

    // Colour goes out as Secondary Capture, whose spacing is Pixel Spacing.
    ScopedBitmap color;
    ASSERT_EQ(L_CreateBitmap(color.get(), BITMAPHANDLE_STRUCT_SIZE, TYPE_CONV, 6, 3, 24, ORDER_BGR,
                             nullptr, TOP_LEFT, nullptr, 0),
              SUCCESS);
    color->XResolution = color->YResolution = 300;
    ASSERT_EQ(L_SaveBitmap(path.c_str(), color.get(), FILE_DICOM_COLOR, 24, 0, nullptr), SUCCESS);
    ScopedBitmap colorLoaded;
    ASSERT_EQ(L_LoadFile(path.c_str(), colorLoaded.get(), BITMAPHANDLE_STRUCT_SIZE, 0, ORDER_BGR, 0,
                         nullptr, nullptr, nullptr, nullptr),
              SUCCESS);
    EXPECT_EQ(colorLoaded->XResolution, 300);
    EXPECT_EQ(colorLoaded->YResolution, 300);
    std::remove(path.c_str());
}

TEST(DicomSpacing, UnknownResolutionIsNeverInvented) {
    if (!HaveTool("dcmdump")) GTEST_SKIP() << "DCMTK not installed";
    ScopedBitmap gray;
    MakeGray12(gray, 4, 4, [](int x, int) { return x; });
    gray->XResolution = gray->YResolution = 0;
    const std::string path = TempPath("unknown.dcm");
    ASSERT_EQ(L_SaveBitmap(path.c_str(), gray.get(), FILE_DICOM_GRAY, 0, 0, nullptr), SUCCESS);
    const std::string dump = RunTool("dcmdump " + path);
    EXPECT_EQ(DumpedValue(dump, "(0018,1164)"), "(no value available)") << dump;
    EXPECT_EQ(DumpedValue(dump, "(0028,0030)"), "") << dump;
    ScopedBitmap loaded;
    ASSERT_EQ(Load(path, loaded), SUCCESS);
    EXPECT_EQ(loaded->XResolution, 0);
    std::remove(path.c_str());
}

TEST(DicomSpacing, ConversionsRoundAndRefuseNonsense) {
    EXPECT_EQ(engine::file::SpacingOfResolution(1270), "0.02");
    EXPECT_EQ(engine::file::SpacingOfResolution(0), "");
    EXPECT_EQ(engine::file::ResolutionOfSpacing("0.02"), 1270);
    EXPECT_EQ(engine::file::ResolutionOfSpacing(" 0.035 "), 726);  // 725.71 dpi, rounded
    for (const char* bad : {"", "0", "-0.1", "abc", "0.02mm", "1e-30"})
        EXPECT_EQ(engine::file::ResolutionOfSpacing(bad), 0) << bad;
}

// The demo's frame has the sensor's 20 µm pitch, and its file says so.
TEST(DicomSpacing, DemoFileStatesTheSensorPitch) {
    const std::string folder = TempPath("demo");
    const std::string output = RunTool(std::string(AXLUMORA_HOST_PATH) + " demo --out " + folder);
    ScopedBitmap loaded;
    ASSERT_EQ(Load(folder + "/demo.dcm", loaded), SUCCESS) << output;
    EXPECT_EQ(loaded->XResolution, 1270);
    EXPECT_EQ(loaded->YResolution, 1270);
    if (HaveTool("dcmdump")) {
        EXPECT_EQ(DumpedValue(RunTool("dcmdump " + folder + "/demo.dcm"), "(0018,1164)"),
                  "[0.02\\0.02]");
    }
    std::filesystem::remove_all(folder);
}

// ---- identity and UIDs ----

TEST(DicomIdentity, FilesNameOurImplementationAndUuidDerivedUids) {
    if (!HaveTool("dcmdump")) GTEST_SKIP() << "DCMTK not installed";
    ScopedBitmap gray;
    MakeGray12(gray, 4, 4, [](int x, int y) { return x + y; });
    std::set<std::string> uids;
    const std::regex uuidDerived(R"(^\[2\.25\.(0|[1-9][0-9]{0,38})\]$)");
    for (int i = 0; i < 2; ++i) {
        const std::string path = TempPath("identity.dcm");
        ASSERT_EQ(L_SaveBitmap(path.c_str(), gray.get(), i ? FILE_DICOM_RLE_GRAY : FILE_DICOM_GRAY,
                               0, 0, nullptr),
                  SUCCESS);
        const std::string dump = RunTool("dcmdump " + path);
        EXPECT_EQ(dump.find("GDCM"), std::string::npos) << dump;
        EXPECT_EQ(dump.find("1.2.826.0.1.3680043.2.1143"), std::string::npos) << dump;
        EXPECT_EQ(DumpedValue(dump, "(0002,0012)"),
                  std::string("[") + engine::file::kImplementationClassUid + "]");
        EXPECT_EQ(DumpedValue(dump, "(0002,0013)"),
                  "[" + engine::file::ImplementationVersionName() + "]");
        for (const char* tag : {"(0008,0018)", "(0020,000d)", "(0020,000e)"}) {
            const std::string uid = DumpedValue(dump, tag);
            EXPECT_TRUE(std::regex_match(uid, uuidDerived)) << tag << " " << uid;
            EXPECT_TRUE(uids.insert(uid).second) << "repeated " << uid;
        }
        if (HaveTool("dciodvfy")) {
            EXPECT_TRUE(IodErrors(path).empty()) << RunTool("dciodvfy " + path);
        }
        std::remove(path.c_str());
    }
}

TEST(DicomIdentity, UidsAreRandomVersion4UuidsInDecimal) {
    const std::uint8_t max[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(engine::file::DecimalOf128(max), "340282366920938463463374607431768211455");
    const std::uint8_t one[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(engine::file::DecimalOf128(one), "1");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        const std::string uid = engine::file::NewUid();
        ASSERT_LE(uid.size(), 64u);
        ASSERT_EQ(uid.rfind("2.25.", 0), 0u);
        ASSERT_TRUE(seen.insert(uid).second);
    }
}

// ---- pending tags ----

TEST(DicomPendingTags, CommonSpellingsBecomeValidValuesAndInvalidOnesAreLeftOut) {
    if (!HaveTool("dcmdump")) GTEST_SKIP() << "DCMTK not installed";
    const DiagnosticSink previous = L_SetDiagnosticSink(&CaptureLine);
    ReportedLines().clear();
    SetComment(CMNT_SZSTUDYDATE, "yesterday");
    SetComment(CMNT_SZPATIENTBIRTHDATE, "1970-02-28");
    SetComment(CMNT_SZSTUDYTIME, "15:30:00");
    SetComment(CMNT_SZDATETIMEORIGINAL, "2024:01:02 15:30:00");
    SetComment(CMNT_SZPATIENTSEX, "f");
    SetComment(CMNT_SZSERIESMODALITY, "io");
    SetComment(CMNT_SZPATIENTID, std::string(65, '7'));
    SetComment(CMNT_SZPATIENTNAME, "M\xC3\xBCller^Hans");
    SetComment(CMNT_SZSERIESID, "1.2.03");
    ScopedBitmap gray;
    MakeGray12(gray, 4, 4, [](int x, int) { return x; });
    gray->XResolution = gray->YResolution = 1270;
    const std::string path = TempPath("tags.dcm");
    const int saved = L_SaveBitmap(path.c_str(), gray.get(), FILE_DICOM_GRAY, 0, 0, nullptr);
    for (int index : {CMNT_SZSTUDYDATE, CMNT_SZPATIENTBIRTHDATE, CMNT_SZSTUDYTIME,
                      CMNT_SZDATETIMEORIGINAL, CMNT_SZPATIENTSEX, CMNT_SZSERIESMODALITY,
                      CMNT_SZPATIENTID, CMNT_SZPATIENTNAME, CMNT_SZSERIESID})
        L_SetComment(index, nullptr, 0);
    L_SetDiagnosticSink(previous);
    ASSERT_EQ(saved, SUCCESS);
    const std::string dump = RunTool("dcmdump " + path);
    EXPECT_EQ(DumpedValue(dump, "(0008,0020)"), "(no value available)") << dump;
    EXPECT_EQ(DumpedValue(dump, "(0010,0030)"), "[19700228]");
    EXPECT_EQ(DumpedValue(dump, "(0008,0030)"), "[153000]");
    EXPECT_EQ(DumpedValue(dump, "(0008,002a)"), "[20240102153000]");
    EXPECT_EQ(DumpedValue(dump, "(0010,0040)"), "[F]");
    EXPECT_EQ(DumpedValue(dump, "(0008,0060)"), "[IO]");
    EXPECT_EQ(DumpedValue(dump, "(0010,0020)"), "(no value available)");
    EXPECT_EQ(DumpedValue(dump, "(0008,0005)"), "[ISO_IR 192]");
    // A Series Instance UID is type 1: an invalid one gives way to a generated one.
    EXPECT_EQ(DumpedValue(dump, "(0020,000e)").rfind("[2.25.", 0), 0u) << dump;
    // One line each for the study date, the patient ID and the series UID; no patient data.
    ASSERT_EQ(ReportedLines().size(), 3u);
    for (const std::string& line : ReportedLines()) {
        EXPECT_EQ(line.rfind("axLumora.Save, ", 0), 0u) << line;
        EXPECT_EQ(line.find("7777"), std::string::npos) << line;
    }
    EXPECT_NE(ReportedLines()[0].find("(0008,0020)"), std::string::npos) << ReportedLines()[0];
    if (HaveTool("dciodvfy")) {
        EXPECT_TRUE(IodErrors(path).empty()) << RunTool("dciodvfy " + path);
    }
    std::remove(path.c_str());
}

// Through the control: the line reaches the control's log behind its DebugView switch.
TEST(DicomPendingTags, LeftOutValueIsLoggedByTheControl) {
    const std::string registry = TempPath("registry.reg"), log = TempPath("debug.txt"),
                      script = TempPath("tags.txt");
    const std::string file = TempPath("control.dcm");
    std::ofstream(registry) << "Windows Registry Editor Version "
                               "5.00\n\n[HKEY_CURRENT_USER\\Software\\Corvane\\Savonne]\n"
                               "\"DebugView\"=dword:00000001\n";
    std::ofstream(script)
        << "LoadBuffer_Crop 0 \"\" 8 4 0 0 0 0 0\nSetTag 15 \"yesterday\"\nSAVE \"" << file
        << "\" 89 16 -1 0\n";
    const std::string output =
        RunTool("AXLUMORA_REGISTRY=" + registry + " AXLUMORA_DEBUG_OUTPUT=" + log + " " +
                AXLUMORA_HOST_PATH + " run " + script);
    std::ifstream lines(log);
    std::string line;
    int reported = 0;
    while (std::getline(lines, line))
        if (line.rfind("axLumora.Save, Study Date (0008,0020) left empty", 0) == 0) ++reported;
    EXPECT_EQ(reported, 1) << output;
    for (const std::string& path : {registry, log, script, file}) std::remove(path.c_str());
}

TEST(DicomPendingTags, ValueRepresentationRules) {
    std::string problem;
    const auto as = [&](DicomVr vr, const char* text) {
        return ToDicomValue(vr, text, &problem).value_or("<none>");
    };
    EXPECT_EQ(as(DicomVr::DA, "20240229"), "20240229");
    EXPECT_EQ(as(DicomVr::DA, "2023-02-29"), "<none>");  // no leap day in 2023
    EXPECT_EQ(as(DicomVr::DA, "2024.01.02"), "20240102");
    EXPECT_EQ(as(DicomVr::DA, "2024-01-02T08:00:00"), "20240102");
    EXPECT_EQ(as(DicomVr::DA, "02/01/2024"), "<none>");
    EXPECT_EQ(as(DicomVr::TM, "24:00:00"), "<none>");
    EXPECT_EQ(as(DicomVr::TM, "0830"), "0830");
    EXPECT_EQ(as(DicomVr::TM, "08:30:05.25"), "083005.25");
    EXPECT_EQ(as(DicomVr::DT, "2024-01-02T15:30:00+01:00"), "20240102153000+0100");
    EXPECT_EQ(as(DicomVr::DT, "20240102153000.5-0500"), "20240102153000.5-0500");
    EXPECT_EQ(as(DicomVr::DT, "2024:13:02 15:30:00"), "<none>");
    EXPECT_EQ(as(DicomVr::CS, " io "), "IO");
    EXPECT_EQ(as(DicomVr::CS, "A-B"), "<none>");
    EXPECT_EQ(as(DicomVr::SH, "12345678901234567"), "<none>");
    EXPECT_EQ(as(DicomVr::LO, "a\\b"), "<none>");
    EXPECT_EQ(as(DicomVr::PN, "Doe^Jane"), "Doe^Jane");
    EXPECT_EQ(as(DicomVr::PN, "a^b^c^d^e^f"), "<none>");
    EXPECT_EQ(as(DicomVr::PN, "Ma\xFF"), "<none>");  // not UTF-8
    EXPECT_EQ(as(DicomVr::UI, "1.2.840.10008"), "1.2.840.10008");
    EXPECT_EQ(as(DicomVr::UI, "1.02"), "<none>");
    EXPECT_EQ(as(DicomVr::IS, "4711"), "4711");
    EXPECT_EQ(as(DicomVr::IS, "1.0"), "<none>");
    EXPECT_EQ(as(DicomVr::IS, "3000000000"), "<none>");
    EXPECT_EQ(as(DicomVr::DA, "   "), "");
}

// ---- the file's window ----

namespace {
// A 12-bit file whose first row holds the given stored values, with the window attributes set.
std::string WindowedFile(const char* name, const std::vector<unsigned>& stored,
                         const std::vector<std::pair<gdcm::Tag, std::string>>& attributes,
                         int pixelRepresentation = -1) {
    ScopedBitmap source;
    MakeGray12(source, static_cast<int>(stored.size()), 2, [&](int x, int) { return stored[x]; });
    const std::string path = TempPath(name);
    EXPECT_EQ(L_SaveBitmap(path.c_str(), source.get(), FILE_DICOM_GRAY, 0, 0, nullptr), SUCCESS);
    Rewrite(path, attributes, pixelRepresentation);
    return path;
}
}  // namespace

TEST(DicomWindow, FileWindowBecomesThePaintWindowAndPixelsStay) {
    // Stored values (12 bits): the window centre 1000, width 201 spans 900 … 1100.
    const std::vector<unsigned> stored = {0, 899, 1000, 1100, 4095};
    const std::string path = WindowedFile(
        "window.dcm", stored, {{kWindowCenter, "1000\\2000"}, {kWindowWidth, "201\\10"}});
    ScopedBitmap loaded;
    ASSERT_EQ(Load(path, loaded), SUCCESS);
    for (std::size_t x = 0; x < stored.size(); ++x)
        EXPECT_EQ(reinterpret_cast<const std::uint16_t*>(loaded->Addr)[x], stored[x]);  // unchanged
    EXPECT_EQ(PaintedGrey(*loaded, 0), 0u);
    EXPECT_EQ(PaintedGrey(*loaded, 1), 0u);
    EXPECT_EQ(PaintedGrey(*loaded, 2), 128u);
    EXPECT_EQ(PaintedGrey(*loaded, 3), 255u);
    EXPECT_EQ(PaintedGrey(*loaded, 4), 255u);

    // Without a window the default stays: the whole 16-bit range, no table of the bitmap's own.
    Rewrite(path, {{kWindowCenter, ""}, {kWindowWidth, ""}});
    ScopedBitmap plain;
    ASSERT_EQ(Load(path, plain), SUCCESS);
    EXPECT_EQ(plain->pLUT, nullptr);
    EXPECT_EQ(PaintedGrey(*plain, 4), 4095u >> 8);
    std::remove(path.c_str());
}

TEST(DicomWindow, RescaleAndSignedSamplesAreUndoneBeforeWindowing) {
    // CT-like: value = stored - 1024; window on water (0) ± 100.
    const std::string ct = WindowedFile("ct.dcm", {923, 1024, 1124, 3000},
                                        {{kWindowCenter, "0"},
                                         {kWindowWidth, "201"},
                                         {kRescaleIntercept, "-1024"},
                                         {kRescaleSlope, "1"}});
    ScopedBitmap loaded;
    ASSERT_EQ(Load(ct, loaded), SUCCESS);
    EXPECT_EQ(PaintedGrey(*loaded, 0), 0u);
    EXPECT_EQ(PaintedGrey(*loaded, 1), 128u);
    EXPECT_EQ(PaintedGrey(*loaded, 2), 255u);
    std::remove(ct.c_str());

    // Signed 12-bit: the stored bits 0xF9C are -100, which the bitmap holds shifted by 2048.
    const std::string signedFile = WindowedFile(
        "signed.dcm", {0xF9C, 0, 0x800}, {{kWindowCenter, "-100"}, {kWindowWidth, "201"}}, 1);
    ScopedBitmap signedLoaded;
    ASSERT_EQ(Load(signedFile, signedLoaded), SUCCESS);
    EXPECT_EQ(reinterpret_cast<const std::uint16_t*>(signedLoaded->Addr)[0], 2048 - 100);
    EXPECT_EQ(PaintedGrey(*signedLoaded, 0), 128u);  // -100: the centre
    EXPECT_EQ(PaintedGrey(*signedLoaded, 1), 255u);  // 0: above the window
    EXPECT_EQ(PaintedGrey(*signedLoaded, 2), 0u);    // -2048: below it
    std::remove(signedFile.c_str());
}

TEST(DicomWindow, VoiLutSequenceIsUsedWhenNoWindowIsGiven) {
    const std::string path = WindowedFile("voilut.dcm", {999, 1000, 1001, 1003, 4000},
                                          {{kWindowCenter, ""}, {kWindowWidth, ""}});
    {
        // One VOI LUT of four 8-bit entries for the values 1000 … 1003 (PS3.3 C.11.2.1.1).
        gdcm::Reader reader;
        reader.SetFileName(path.c_str());
        ASSERT_TRUE(reader.Read());
        gdcm::DataSet lut;
        const std::uint16_t descriptor[3] = {4, 1000, 8}, data[4] = {0, 85, 170, 255};
        gdcm::DataElement descriptorElement(gdcm::Tag(0x0028, 0x3002));
        descriptorElement.SetVR(gdcm::VR::US);
        descriptorElement.SetByteValue(reinterpret_cast<const char*>(descriptor),
                                       sizeof descriptor);
        lut.Insert(descriptorElement);
        gdcm::DataElement dataElement(gdcm::Tag(0x0028, 0x3006));
        dataElement.SetVR(gdcm::VR::OW);
        dataElement.SetByteValue(reinterpret_cast<const char*>(data), sizeof data);
        lut.Insert(dataElement);
        gdcm::SmartPointer<gdcm::SequenceOfItems> sequence = new gdcm::SequenceOfItems;
        gdcm::Item item;
        item.SetNestedDataSet(lut);
        sequence->AddItem(item);
        sequence->SetLengthToUndefined();
        gdcm::DataElement sequenceElement(gdcm::Tag(0x0028, 0x3010));
        sequenceElement.SetVR(gdcm::VR::SQ);
        sequenceElement.SetValue(*sequence);
        sequenceElement.SetVLToUndefined();
        reader.GetFile().GetDataSet().Replace(sequenceElement);
        gdcm::Writer writer;
        writer.SetFile(reader.GetFile());
        writer.SetFileName(path.c_str());
        ASSERT_TRUE(writer.Write());
    }
    ScopedBitmap loaded;
    ASSERT_EQ(Load(path, loaded), SUCCESS);
    EXPECT_EQ(PaintedGrey(*loaded, 0), 0u);
    EXPECT_EQ(PaintedGrey(*loaded, 2), 85u);
    EXPECT_EQ(PaintedGrey(*loaded, 3), 255u);
    EXPECT_EQ(PaintedGrey(*loaded, 4), 255u);
    std::remove(path.c_str());
}
