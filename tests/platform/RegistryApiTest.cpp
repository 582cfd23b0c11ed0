// The desktop-shaped registry functions over a store file of the test's own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/registry/Registry.h"
#include "tests/common/TestFiles.h"

namespace {

const char* const kSavonne = "Software\\Corvane\\Savonne";
const std::string kSavonnePath = std::string("HKEY_CURRENT_USER\\") + kSavonne;

class RegistryApi : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = (dir_ / "registry.reg").string();
        registry_.emplace("AXLUMORA_REGISTRY", file_);
    }
    void TearDown() override { registry_.reset(); }
    HKEY Create(const char* sub, DWORD access = KEY_ALL_ACCESS) {
        HKEY key = 0;
        EXPECT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, sub, 0, nullptr, 0, access, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        return key;
    }

    testsupport::ScratchFolder dir_{"regapi"};
    std::string file_;
    std::optional<testsupport::ScopedEnvironment> registry_;
};

TEST_F(RegistryApi, QueryFollowsTheSizeProtocol) {
    const HKEY key = Create(kSavonne);
    const char text[] = "Gr\xC3\xBC\xC3\x9F";  // UTF-8, 6 bytes + terminator
    ASSERT_EQ(RegSetValueExA(key, "Greeting", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             sizeof text),
              ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "greeting", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, sizeof text);

    BYTE small[4] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Greeting", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof text);

    BYTE exact[sizeof text] = {};
    size = sizeof exact;
    EXPECT_EQ(RegQueryValueExA(key, "Greeting", nullptr, nullptr, exact, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::memcmp(exact, text, sizeof text), 0);

    // The file keeps UTF-16LE, as regedit would export it.
    const auto stored = RegistryStore::Load(file_).Get(kSavonnePath, "Greeting");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->data, (std::vector<BYTE>{'G', 0, 'r', 0, 0xFC, 0, 0xDF, 0, 0, 0}));

    EXPECT_EQ(RegQueryValueExA(key, "Absent", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "Greeting", nullptr, nullptr, exact, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryApi, UnterminatedStringsAreStoredAndReturnedTerminated) {
    const HKEY key = Create(kSavonne);
    ASSERT_EQ(
        RegSetValueExA(key, nullptr, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%X%"), 3),
        ERROR_SUCCESS);
    char out[8] = {'!', '!', '!', '!', '!', '!', '!', '!'};
    DWORD size = sizeof out, type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(out), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(out, "%X%");
    RegCloseKey(key);
}

TEST_F(RegistryApi, OpenIsCaseInsensitiveAndSeesOtherWriters) {
    HKEY key = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSavonne, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

    // Another process writes the file between our calls.
    RegistryStore other;
    other.Set(kSavonnePath, "DebugView", {REG_QWORD, {5, 0, 0, 0, 0, 0, 0, 0}});
    ASSERT_TRUE(other.Save(file_));

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\corvane", 0, KEY_READ, &key),
              ERROR_SUCCESS);  // an implied parent exists
    HKEY sub = 0;
    ASSERT_EQ(RegOpenKeyExA(key, "savonne\\", 0, KEY_READ, &sub), ERROR_SUCCESS);
    BYTE data[8] = {};
    DWORD size = sizeof data, type = 0;
    EXPECT_EQ(RegQueryValueExA(sub, "DEBUGVIEW", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_QWORD);
    EXPECT_EQ(data[0], 5);

    // Read access is not write access.
    const DWORD one = 1;
    EXPECT_EQ(
        RegSetValueExA(sub, "DebugView", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
        ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(key, "a\\\\b", 0, KEY_READ, &sub), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(key, "DebugView", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    RegCloseKey(sub);
}

TEST_F(RegistryApi, CreateReportsDispositionAndDeletesReachOpenHandles) {
    DWORD disposition = 0;
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSavonne, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    HKEY again = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "software\\CORVANE\\savonne", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_NE(again, key);

    const DWORD v = 3;
    ASSERT_EQ(RegSetValueExA(key, "A", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(again, "a"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(again, "a"), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Corvane"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Corvane"), ERROR_FILE_NOT_FOUND);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "A", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(key, "A", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4),
              ERROR_KEY_DELETED);
    RegCloseKey(key);
    RegCloseKey(again);
}

TEST_F(RegistryApi, WritesLeaveAnUnrecognisedFileAlone) {
    const std::string foreign = "not a registry file\n";
    std::ofstream(file_) << foreign;
    HKEY key = 0;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSavonne, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_ACCESS_DENIED);
    std::stringstream content;
    content << std::ifstream(file_).rdbuf();
    EXPECT_EQ(content.str(), foreign);
}

TEST_F(RegistryApi, ConcurrentWritersLoseNothing) {
    const HKEY key = Create(kSavonne);
    std::vector<std::thread> threads;
    for (DWORD t = 0; t < 4; ++t) {
        threads.emplace_back([key, t] {
            for (DWORD i = 0; i < 10; ++i) {
                const DWORD v = t * 100 + i;
                const std::string name = "V" + std::to_string(v);
                RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                               4);
            }
        });
    }
    for (auto& th : threads) th.join();
    const RegistryStore store = RegistryStore::Load(file_);
    for (DWORD t = 0; t < 4; ++t)
        for (DWORD i = 0; i < 10; ++i)
            EXPECT_TRUE(store.Get(kSavonnePath, "v" + std::to_string(t * 100 + i)));
    RegCloseKey(key);
}

}  // namespace
