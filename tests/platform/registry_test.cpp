#include "platform/registry.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace veltra::platform {
namespace {

class RegistryTest : public ::testing::Test {
  protected:
    void TearDown() override { ResetRegistryToDefaults(); }
};

TEST_F(RegistryTest, DefaultsHoldTheAccountOwner) {
    ResetRegistryToDefaults();
    // Every account has at least a login name, and that is what the owner falls back to.
    const auto owner = ReadRegistryValue(kOwnerKey, kOwnerValue);
    ASSERT_TRUE(owner);
    EXPECT_FALSE(owner->empty());
    EXPECT_EQ(owner->find(L','), std::wstring::npos);
    EXPECT_TRUE(RegistryKeyExists(L"\\controlpanel\\OWNER"));
}

TEST_F(RegistryTest, ClearedRegistryStaysEmpty) {
    ClearRegistry();
    EXPECT_FALSE(RegistryKeyExists(kOwnerKey));
    EXPECT_FALSE(ReadRegistryValue(kOwnerKey, kOwnerValue));
    EXPECT_FALSE(RegistryKeyExists(kOwnerKey));  // reading creates nothing
}

TEST_F(RegistryTest, OpenOrCreateMakesAnEmptyKey) {
    ClearRegistry();
    const auto key = RegistryKey::OpenOrCreate(L"\\Software\\Veltra");
    ASSERT_TRUE(key);
    EXPECT_TRUE(RegistryKeyExists(L"\\Software\\Veltra"));
    EXPECT_FALSE(key->ReadValue(L"Anything"));
}

TEST_F(RegistryTest, SeededValuesReadBackWhole) {
    ClearRegistry();
    const std::wstring value(L"\0abc", 4);
    SeedRegistryValue(kOwnerKey, kOwnerValue, value);
    SeedRegistryValue(kOwnerKey, L"Other", L"张三");
    const auto key = RegistryKey::OpenOrCreate(L"\\CONTROLPANEL\\owner");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadValue(L"owner"), value);
    EXPECT_EQ(key->ReadValue(L"Other"), L"张三");
    SeedRegistryValue(kOwnerKey, kOwnerValue, L"new");
    EXPECT_EQ(key->ReadValue(kOwnerValue), L"new");
}

TEST_F(RegistryTest, ThreadsReadAndWriteAtOnce) {
    ClearRegistry();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const std::wstring key = L"\\K" + std::to_wstring(t);
            for (int i = 0; i < 500; ++i) {
                SeedRegistryValue(key, L"v", std::to_wstring(i));
                RegistryKey::OpenOrCreate(L"\\Shared");
                ReadRegistryValue(L"\\K0", L"v");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(ReadRegistryValue(L"\\K" + std::to_wstring(t), L"v"), L"499");
    }
}

}  // namespace
}  // namespace veltra::platform
