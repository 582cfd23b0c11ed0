#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "ControlFixture.h"
#include "platform/registry/Registry.h"
#include "tests/common/TestFiles.h"

namespace {

std::string Text(const std::optional<RegistryValue>& value) {
    if (!value || value->type != REG_SZ) return "<absent>";
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
        char16_t c = static_cast<char16_t>(value->data[i] | (value->data[i + 1] << 8));
        if (!c) break;
        wide.push_back(c);
    }
    return WideToUtf8(wide);
}

}  // namespace

TEST(ServerRegistration, WritesTheClassPerUserAndRemovesIt) {
    const testsupport::ScratchFolder folder("registration");
    const std::filesystem::path path = folder / "registry.reg";
    const testsupport::ScopedEnvironment registry("AXLUMORA_REGISTRY", path.string());

    ASSERT_EQ(DllRegisterServer(), S_OK);
    RegistryStore store = RegistryStore::Load(path.string());
    const std::string classKey =
        "HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\"
        "{7A3C51E2-4B1D-4E8A-9C21-5D601AB73004}";
    EXPECT_EQ(Text(store.Get(classKey, "")), "axLumora Control");
    EXPECT_EQ(Text(store.Get(classKey + "\\InprocServer32", "ThreadingModel")), "Apartment");
    EXPECT_FALSE(Text(store.Get(classKey + "\\InprocServer32", "")).empty());
    EXPECT_EQ(Text(store.Get(classKey + "\\MiscStatus\\1", "")), "73728");  // 0x12000
    EXPECT_EQ(Text(store.Get(classKey + "\\ProgID", "")), "cvaxLumora.axLumora");
    EXPECT_TRUE(store.KeyExists(classKey + "\\Control"));
    EXPECT_TRUE(
        store.KeyExists("HKEY_CURRENT_USER\\Software\\Classes\\TypeLib\\{7A3C51E2-4B1D-4E8A-9C21-"
                        "5D601AB73001}\\1.0"));

    ASSERT_EQ(DllUnregisterServer(), S_OK);
    store = RegistryStore::Load(path.string());
    EXPECT_FALSE(store.KeyExists(classKey));
}
