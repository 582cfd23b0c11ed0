// The registry store's text format: what regedit writes must read back, what we write must
// read back unchanged, and no input may crash or hang the parser.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/automation/OleAuto.h"
#include "platform/registry/Registry.h"
#include "tests/common/TestFiles.h"

namespace {

using namespace std::string_literals;

const std::string kSavonne = "HKEY_CURRENT_USER\\Software\\Corvane\\Savonne";

std::vector<BYTE> Utf16(std::u16string_view s, bool terminate = true) {
    std::vector<BYTE> out;
    for (char16_t c : s) {
        out.push_back(static_cast<BYTE>(c & 0xFF));
        out.push_back(static_cast<BYTE>(c >> 8));
    }
    if (terminate) out.insert(out.end(), {0, 0});
    return out;
}

std::vector<BYTE> Sequence(std::size_t n) {
    std::vector<BYTE> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<BYTE>(i * 7 + 3);
    return out;
}

TEST(RegistryFormat, EveryValueShapeSurvivesSerializeAndParse) {
    RegistryStore store;
    store.Set(kSavonne, "Path", {REG_SZ, Utf16(u"C:\\dir\\\"quoted\" \\")});
    store.Set(kSavonne, "Unicode", {REG_SZ, Utf16(u"caf\u00e9 \U0001F600")});
    store.Set(kSavonne, "", {REG_SZ, Utf16(u"default")});
    store.Set(kSavonne, "@", {REG_DWORD, {1, 0, 0, 0}});  // a value named "@", not the default
    store.Set(kSavonne, "Name \"with\" \\ quotes", {REG_DWORD, {0xEF, 0xBE, 0xAD, 0xDE}});
    store.Set(kSavonne, "Expand", {REG_EXPAND_SZ, Utf16(u"%HOME%\\x")});
    store.Set(kSavonne, "Multi", {REG_MULTI_SZ, Utf16(std::u16string(u"a\0bc\0\0", 6), false)});
    store.Set(kSavonne, "Big", {REG_BINARY, Sequence(300)});
    store.Set(kSavonne, "Empty", {REG_BINARY, {}});
    store.Set(kSavonne, "Q", {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}});
    store.Set(kSavonne, "None", {REG_NONE, {}});
    store.Set(kSavonne, "Odd type", {0x12345, {9}});
    // Shapes the quoted and dword forms cannot hold must fall back to hex(N).
    store.Set(kSavonne, "ShortDword", {REG_DWORD, {1, 2, 3}});
    store.Set(kSavonne, "Unterminated", {REG_SZ, Utf16(u"abc", false)});
    store.Set(kSavonne, "Newline", {REG_SZ, Utf16(u"a\r\nb")});
    store.Set(kSavonne, "LoneSurrogate", {REG_SZ, Utf16(u"\xD800x")});
    store.Set(kSavonne, "OddLength", {REG_SZ, {0x41, 0, 0}});
    store.CreateKey("HKEY_CURRENT_USER\\Software\\Empty Key");
    store.Set("HKEY_CLASSES_ROOT\\CLSID\\{X}\\InprocServer32", "ThreadingModel",
              {REG_SZ, Utf16(u"Apartment")});

    const std::string text = store.Serialize();
    EXPECT_EQ(RegistryStore::Parse(text), store) << text;
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n\n", 0), 0u);
    EXPECT_NE(text.find("\"Path\"=\"C:\\\\dir\\\\\\\"quoted\\\" \\\\\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Name \\\"with\\\" \\\\ quotes\"=dword:deadbeef\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Q\"=hex(b):01,02,03,04,05,06,07,08\n"), std::string::npos);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

TEST(RegistryFormat, DebugViewInEachAcceptedShape) {
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Corvane\\Savonne]\r\n"
        "\"DebugView\"=dword:00000001\r\n"
        "\"DebugViewQ\"=hex(b):02,00,00,00,00,00,00,00\r\n"
        "\"DebugViewB\"=hex:03,00\r\n"
        "\"DebugViewS\"=\"1\"\r\n";
    const RegistryStore store = RegistryStore::Parse(text);
    EXPECT_EQ(store.Get(kSavonne, "DebugView"), (RegistryValue{REG_DWORD, {1, 0, 0, 0}}));
    EXPECT_EQ(store.Get(kSavonne, "DebugViewQ"),
              (RegistryValue{REG_QWORD, {2, 0, 0, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(store.Get(kSavonne, "DebugViewB"), (RegistryValue{REG_BINARY, {3, 0}}));
    EXPECT_EQ(store.Get(kSavonne, "DebugViewS"), (RegistryValue{REG_SZ, Utf16(u"1")}));
    EXPECT_EQ(RegistryStore::Parse(store.Serialize()), store);
}

TEST(RegistryFormat, Utf16FileWithBomReadsLikeUtf8) {
    const std::string utf8 =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\T\u00e9st]\r\n"
        "\"Name\"=\"\u00fcber \U0001F600\"\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : Utf8ToWide(utf8)) {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    const RegistryStore fromUtf16 = RegistryStore::Parse(utf16);
    EXPECT_EQ(fromUtf16, RegistryStore::Parse(utf8));
    EXPECT_EQ(fromUtf16.Get("HKEY_CURRENT_USER\\T\u00e9st", "Name"),
              (RegistryValue{REG_SZ, Utf16(u"\u00fcber \U0001F600")}));
    EXPECT_EQ(RegistryStore::Parse("\xEF\xBB\xBF" + utf8), fromUtf16);
}

TEST(RegistryFormat, ContinuationLinesAndTruncatedLists) {
    const std::string text =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n"
        "\"Long\"=hex:01,02,\\\n  03,04,\\\n\t05\n"
        "\"Cut\"=hex:01,02,\\\n"
        "[HKEY_CURRENT_USER\\B]\n"
        "\"Eight\"=hex(2):41,42,00\n"
        "\"Last\"=hex:0a,\\";
    const RegistryStore store = RegistryStore::Parse(text);
    EXPECT_EQ(store.Get("HKEY_CURRENT_USER\\A", "Long"),
              (RegistryValue{REG_BINARY, {1, 2, 3, 4, 5}}));
    EXPECT_FALSE(store.Get("HKEY_CURRENT_USER\\A", "Cut"));  // cut short: dropped, not guessed
    EXPECT_TRUE(store.KeyExists("HKEY_CURRENT_USER\\B"));    // the next key still reads
    // REGEDIT4 carries expandable strings as 8-bit text; the store keeps UTF-16LE.
    EXPECT_EQ(store.Get("HKEY_CURRENT_USER\\B", "Eight"),
              (RegistryValue{REG_EXPAND_SZ, Utf16(u"AB")}));
    EXPECT_EQ(store.Get("HKEY_CURRENT_USER\\B", "Last"), (RegistryValue{REG_BINARY, {10}}));
}

TEST(RegistryFormat, KeysAndNamesCompareCaseInsensitively) {
    RegistryStore store = RegistryStore::Parse(
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Corvane\\Savonne]\n"
        "\"DebugView\"=dword:00000001\n"
        "[HKEY_CURRENT_USER\\Software\\Corvane\\Savonne2]\n\"Other\"=\"x\"\n"
        "[hkey_current_user\\software\\corvane\\SAVONNE]\n\"debugview\"=dword:00000002\n");
    EXPECT_EQ(store.Get("HKEY_CURRENT_USER\\SOFTWARE\\corvane\\savonne", "DEBUGVIEW"),
              (RegistryValue{REG_DWORD, {2, 0, 0, 0}}));
    // The first spelling of a key or name is the one written back.
    EXPECT_NE(store.Serialize().find("[HKEY_CURRENT_USER\\Software\\Corvane\\Savonne]\n"
                                     "\"DebugView\"=dword:00000002"),
              std::string::npos);
    EXPECT_TRUE(store.KeyExists("hkey_current_user\\SOFTWARE"));  // implied parent
    EXPECT_FALSE(store.KeyExists("HKEY_CURRENT_USER\\Soft"));
    EXPECT_TRUE(store.DeleteTree("HKEY_CURRENT_USER\\software\\corvane\\savonne"));
    EXPECT_FALSE(store.KeyExists(kSavonne));
    EXPECT_TRUE(store.Get(kSavonne + "2", "other"));  // a sibling sharing the prefix survives
}

TEST(RegistryFormat, DeletionLinesApplyInOrder) {
    const RegistryStore store = RegistryStore::Parse(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\A]\n\"Keep\"=dword:1\n\"Drop\"=dword:2\n@=\"d\"\n"
        "[HKEY_CURRENT_USER\\A\\Sub]\n\"X\"=dword:3\n"
        "[-HKEY_CURRENT_USER\\A\\SUB]\n\"Orphan\"=dword:4\n"
        "[HKEY_CURRENT_USER\\A]\n\"Drop\"=-\n@=-\n");
    EXPECT_EQ(store.Get("HKEY_CURRENT_USER\\A", "Keep"), (RegistryValue{REG_DWORD, {1, 0, 0, 0}}));
    EXPECT_FALSE(store.Get("HKEY_CURRENT_USER\\A", "Drop"));
    EXPECT_FALSE(store.Get("HKEY_CURRENT_USER\\A", ""));
    EXPECT_FALSE(store.KeyExists("HKEY_CURRENT_USER\\A\\Sub"));
}

TEST(RegistryFormat, HostileInputReadsAsWhatCouldBeRead) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\K]\n";
    const std::string good = "\"Good\"=dword:00000007\n";
    const std::vector<std::string> bad = {
        "\"Unterminated=dword:1\n",
        "\"Str\"=\"never closed\n",
        "\"Str2\"=\"a\" trailing\n",
        "\"OddHex\"=hex:1,234\n",
        "\"NotHex\"=hex:zz\n",
        "\"BadType\"=hex(zz):00\n",
        "\"Nine\"=dword:123456789\n",
        "\"Huge\"=\"" + std::string(1 << 20, 'A') + "\n",
        "\"Nul\0name\"=dword:1\n"s,
        "=dword:1\n",
        "\\\n",
    };
    for (const std::string& line : bad) {
        const RegistryStore store = RegistryStore::Parse(header + line + good);
        EXPECT_EQ(store.Get("HKEY_CURRENT_USER\\K", "Good"),
                  (RegistryValue{REG_DWORD, {7, 0, 0, 0}}))
            << line.substr(0, 40);
    }
    // Values under an unreadable key line belong to no key, not to the one before it.
    EXPECT_FALSE(RegistryStore::Parse(header + "[]\n" + good).Get("HKEY_CURRENT_USER\\K", "Good"));
    EXPECT_EQ(RegistryStore::Parse("garbage\n" + good), RegistryStore());
    EXPECT_EQ(RegistryStore::Parse(""), RegistryStore());
    EXPECT_EQ(RegistryStore::Parse("\xFF\xFE\x00"), RegistryStore());
    EXPECT_EQ(
        RegistryStore::Parse(header + "\"Tail\"=hex:01,\\").Get("HKEY_CURRENT_USER\\K", "Tail"),
        (RegistryValue{REG_BINARY, {1}}));

    // Random mutations of a valid file: nothing may crash, and what parses re-serializes stably.
    RegistryStore sample;
    sample.Set("HKEY_CURRENT_USER\\K", "S", {REG_SZ, Utf16(u"x\\\"y")});
    sample.Set("HKEY_CURRENT_USER\\K", "B", {REG_BINARY, Sequence(100)});
    const std::string valid = sample.Serialize();
    std::mt19937 rng(12345);
    for (int round = 0; round < 2000; ++round) {
        std::string text = valid;
        for (int edits = 1 + round % 4; edits > 0; --edits)
            text[rng() % text.size()] = static_cast<char>(rng());
        const RegistryStore parsed = RegistryStore::Parse(text);
        EXPECT_EQ(RegistryStore::Parse(parsed.Serialize()), parsed);
    }
}

TEST(RegistryFile, SaveReplacesAtomicallyAndLoadReportsStatus) {
    testsupport::ScratchFolder dir("regformat");
    const std::string path = (dir.path() / "deep" / "er" / "registry.reg").string();
    RegistryStore::LoadStatus status;
    EXPECT_EQ(RegistryStore::Load(path, status), RegistryStore());
    EXPECT_EQ(status, RegistryStore::LoadStatus::Missing);

    RegistryStore store;
    store.Set(kSavonne, "DebugView", {REG_DWORD, {1, 0, 0, 0}});
    ASSERT_TRUE(store.Save(path));
    store.Set(kSavonne, "DebugView", {REG_DWORD, {0, 0, 0, 0}});
    ASSERT_TRUE(store.Save(path));
    EXPECT_EQ(RegistryStore::Load(path, status), store);
    EXPECT_EQ(status, RegistryStore::LoadStatus::Loaded);
    // Only the file itself remains: the temporary was renamed over it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "deep" / "er"),
                            std::filesystem::directory_iterator()),
              1);

    std::ofstream(path, std::ios::binary) << "\x7f"
                                             "ELF\x01\x02 binary";
    EXPECT_EQ(RegistryStore::Load(path, status), RegistryStore());
    EXPECT_EQ(status, RegistryStore::LoadStatus::Unrecognised);

    const std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(RegistryStore::Load(fifo, status), RegistryStore());  // must not block
    EXPECT_EQ(status, RegistryStore::LoadStatus::Unreadable);
    EXPECT_FALSE(store.Save((dir.path() / "fifo" / "x.reg").string()));
}

TEST(RegistryFile, DefaultPathFollowsEnvironment) {
    const auto saved = [](const char* name) {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto reg = saved("AXLUMORA_REGISTRY"), xdg = saved("XDG_CONFIG_HOME"),
               home = saved("HOME");
    ::setenv("AXLUMORA_REGISTRY", "/x/explicit.reg", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(RegistryStore::DefaultPath(), "/x/explicit.reg");
    ::unsetenv("AXLUMORA_REGISTRY");
    EXPECT_EQ(RegistryStore::DefaultPath(), "/cfg/axlumora/registry.reg");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(RegistryStore::DefaultPath(), "/home/u/.config/axlumora/registry.reg");
    const auto restore = [](const char* name, const std::optional<std::string>& v) {
        if (v) ::setenv(name, v->c_str(), 1);
        else ::unsetenv(name);
    };
    restore("AXLUMORA_REGISTRY", reg);
    restore("XDG_CONFIG_HOME", xdg);
    restore("HOME", home);
}

}  // namespace
