#include "common/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "platform/registry.h"
#include "tests/platform/temp_folder.h"

namespace veltra {
namespace {

using testing::ScopedVariable;
using testing::TempFolder;

TEST(SettingsText, NameAndBroadcastListComeFromTheSection) {
    const SettingsFileRead read = ParseSettingsText(
        "# mine\n[other]\nname = not mine\n[veltra]\nname = 王伟\nbroadcast = 10.0.0.9;10.0.1.9\n"
        "colour = blue\n",
        "f");
    EXPECT_TRUE(read.problems.empty());
    EXPECT_EQ(read.values.name, L"王伟");
    EXPECT_EQ(read.values.broadcast, L"10.0.0.9;10.0.1.9");
}

TEST(SettingsText, AbsentKeysStayEmpty) {
    const SettingsFileRead read = ParseSettingsText("[veltra]\n", "f");
    EXPECT_FALSE(read.values.name);
    EXPECT_FALSE(read.values.broadcast);
}

TEST(SettingsText, AMalformedLineIsReportedWithItsNumberAndTheFileIgnored) {
    const SettingsFileRead read =
        ParseSettingsText("[veltra]\nname = 王伟\nthis is no setting\nbroadcast = 10.0.0.9\n", "f");
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_TRUE(read.problems[0].starts_with("f:3: ")) << read.problems[0];
    EXPECT_FALSE(read.values.name);
    EXPECT_FALSE(read.values.broadcast);
}

TEST(SettingsText, ANameThatCannotGoOnTheWireIsReportedAndIgnoredAlone) {
    const SettingsFileRead read =
        ParseSettingsText("[veltra]\nname = a:b\nbroadcast = 10.0.0.9\n", "f");
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_EQ(read.problems[0], "f: the name may not contain ':'; the account's name is used");
    EXPECT_FALSE(read.values.name);
    EXPECT_EQ(read.values.broadcast, L"10.0.0.9");
}

TEST(SettingsText, WrittenTextReadsBack) {
    const SettingsFileRead read =
        ParseSettingsText(FormatSettingsText(L"张 三", L"10.0.0.9;host"), "f");
    EXPECT_TRUE(read.problems.empty());
    EXPECT_EQ(read.values.name, L"张 三");
    EXPECT_EQ(read.values.broadcast, L"10.0.0.9;host");
}

TEST(SettingsText, TheHistorysBoundIsAWholeNumberOfRows) {
    EXPECT_FALSE(ParseSettingsText("[veltra]\n", "f").values.history_rows);
    EXPECT_EQ(ParseSettingsText("[veltra]\nhistory_rows = 2500\n", "f").values.history_rows, 2500u);
    EXPECT_EQ(ParseSettingsText("[veltra]\nhistory_rows = 1\n", "f").values.history_rows, 1u);
    EXPECT_EQ(ParseSettingsText("[veltra]\nhistory_rows = 10000000\n", "f").values.history_rows,
              10000000u);
    // Another section's key of the name is not ours.
    EXPECT_FALSE(ParseSettingsText("[other]\nhistory_rows = 5\n", "f").values.history_rows);
}

TEST(SettingsText, ABoundThatIsNoCountIsReportedWithItsLineAndIgnoredAlone) {
    for (const char* value : {"0", "-5", "12k", "1e5", "10000001", "99999999999999999999", ""}) {
        const SettingsFileRead read = ParseSettingsText(
            std::string("[veltra]\nname = 王伟\n\nhistory_rows = ") + value + "\n", "f");
        ASSERT_EQ(read.problems.size(), 1u) << value;
        EXPECT_EQ(read.problems[0], std::string("f:4: history_rows is not a whole number from 1 to "
                                                "10000000: \"") +
                                        value + "\"; the history keeps the newest 100000 rows");
        EXPECT_FALSE(read.values.history_rows) << value;
        EXPECT_EQ(read.values.name, L"王伟") << value;
    }
}

TEST(SettingsText, TheBadLineOfTheBoundIsTheOneReported) {
    const SettingsFileRead read = ParseSettingsText(
        "[other]\nhistory_rows = 9\n[veltra]\nhistory_rows = 5\nhistory_rows=x\n", "f");
    ASSERT_EQ(read.problems.size(), 1u);
    EXPECT_TRUE(read.problems[0].starts_with("f:5: history_rows ")) << read.problems[0];
    EXPECT_FALSE(read.values.history_rows);
}

TEST(SettingsText, TheBoundWrittenReadsBack) {
    EXPECT_EQ(ParseSettingsText(FormatSettingsText(L"a", L"", 777), "f").values.history_rows, 777u);
    EXPECT_FALSE(ParseSettingsText(FormatSettingsText(L"a", L""), "f").values.history_rows);
}

TEST(UserName, TheWireLimitIsInBytesOfCodePage936) {
    EXPECT_EQ(CheckUserName(std::wstring(49, L'a')), NameFault::kNone);
    EXPECT_EQ(CheckUserName(std::wstring(50, L'a')), NameFault::kTooLong);
    EXPECT_EQ(CheckUserName(std::wstring(24, L'王') + L"a"), NameFault::kNone);
    EXPECT_EQ(CheckUserName(std::wstring(25, L'王')), NameFault::kTooLong);
    EXPECT_EQ(CheckUserName(L"a:b"), NameFault::kColon);
    EXPECT_EQ(CheckUserName(L"a\nb"), NameFault::kLineBreak);
    EXPECT_EQ(CheckUserName(L"\U0001F600"), NameFault::kNotInCodePage);
    EXPECT_EQ(NameFaultText(NameFault::kTooLong),
              "the name is longer than 49 bytes of code page 936 (a Chinese character takes two)");
}

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetOwnerValue(L"account"); }
    void TearDown() override { platform::ResetOwnerValue(); }

    std::string FilePath() const { return (temp_.path() / "config/veltra/veltra.conf").string(); }

    TempFolder temp_;
    ScopedVariable config_{"XDG_CONFIG_HOME", (temp_.path() / "config").string()};
};

TEST_F(SettingsFileTest, NoFileLeavesTheAccountsNameAndNoList) {
    Settings settings;
    EXPECT_TRUE(LoadSettingsFile(settings).empty());
    EXPECT_EQ(settings.user_name, L"account");
    EXPECT_EQ(settings.broadcast_list, L"");
}

TEST_F(SettingsFileTest, SavedFileIsTheUsersAloneAndLoadsBack) {
    SaveSettingsFile(L"王伟", L"10.0.0.9");
    struct stat st {};
    ASSERT_EQ(stat(FilePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    Settings settings;
    EXPECT_TRUE(LoadSettingsFile(settings).empty());
    EXPECT_EQ(settings.user_name, L"王伟");
    EXPECT_EQ(settings.broadcast_list, L"10.0.0.9");

    SaveSettingsFile(L"", L"");  // replaced whole: an empty name is the account's again
    Settings again;
    EXPECT_TRUE(LoadSettingsFile(again).empty());
    EXPECT_EQ(again.user_name, L"account");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp_.path() / "config/veltra"),
                            std::filesystem::directory_iterator()),
              1);  // no temporary left beside it
}

TEST_F(SettingsFileTest, TheHistorysBoundLoadsAndOutlivesTheDialogsSave) {
    Settings defaults;
    EXPECT_EQ(defaults.history_rows, 100000u);
    std::filesystem::create_directories(temp_.path() / "config/veltra");
    std::ofstream(FilePath()) << "[veltra]\nname = 王伟\nhistory_rows = 3000\n";
    Settings settings;
    EXPECT_TRUE(LoadSettingsFile(settings).empty());
    EXPECT_EQ(settings.history_rows, 3000u);

    SaveSettingsFile(L"张三", L"10.0.0.9");  // the settings dialog knows nothing of the bound
    Settings again;
    EXPECT_TRUE(LoadSettingsFile(again).empty());
    EXPECT_EQ(again.user_name, L"张三");
    EXPECT_EQ(again.history_rows, 3000u);
}

TEST_F(SettingsFileTest, AMalformedFileIsReportedWithItsPathAndLine) {
    SaveSettingsFile(L"王伟", L"");
    std::ofstream(FilePath(), std::ios::app) << "[veltra\n";
    Settings settings;
    const std::vector<std::string> problems = LoadSettingsFile(settings);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(problems[0].starts_with(FilePath() + ":4: ")) << problems[0];
    EXPECT_EQ(settings.user_name, L"account");
}

TEST(EffectiveName, EmptyIsTheAccountsName) {
    platform::SetOwnerValue(L"account");
    EXPECT_EQ(EffectiveUserName(L""), L"account");
    EXPECT_EQ(EffectiveUserName(L"王伟"), L"王伟");
    platform::ResetOwnerValue();
}

}  // namespace
}  // namespace veltra
