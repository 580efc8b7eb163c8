#include "platform/registry.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace veltra::platform {
namespace {

class RegistryTest : public ::testing::Test {
  protected:
    void TearDown() override { ResetOwnerValue(); }
};

TEST_F(RegistryTest, TheOwnerIsTheAccountsName) {
    ResetOwnerValue();
    // Every account has at least a login name, and that is what the owner falls back to.
    const auto owner = ReadOwnerValue();
    ASSERT_TRUE(owner);
    EXPECT_FALSE(owner->empty());
    EXPECT_EQ(owner->find(L','), std::wstring::npos);
}

TEST_F(RegistryTest, ASetValueReadsBackWholeUntilReset) {
    const auto account = ReadOwnerValue();
    const std::wstring value(L"\0abc", 4);
    SetOwnerValue(value);
    EXPECT_EQ(ReadOwnerValue(), value);
    SetOwnerValue(std::nullopt);
    EXPECT_FALSE(ReadOwnerValue());
    ResetOwnerValue();
    EXPECT_EQ(ReadOwnerValue(), account);
}

TEST_F(RegistryTest, ThreadsReadWhileTheValueChanges) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 500; ++i) {
                if (t == 0) {
                    SetOwnerValue(std::to_wstring(i));
                } else {
                    ReadOwnerValue();
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(ReadOwnerValue(), L"499");
}

}  // namespace
}  // namespace veltra::platform
