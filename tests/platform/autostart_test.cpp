// The desktop's autostart entry: where it goes, what it holds, and that switching it leaves
// nothing else behind.

#include "platform/autostart.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "tests/platform/temp_folder.h"

namespace veltra::platform {
namespace {

using testing::ScopedVariable;
using testing::TempFolder;

std::string ContentOf(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::size_t EntriesIn(const std::filesystem::path& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

TEST(Autostart, TheEntryGoesToTheConfigFolderOfTheEnvironmentOrTheHome) {
    TempFolder temp;
    ScopedVariable home("HOME", temp.path().string() + "/home");
    ScopedVariable config("XDG_CONFIG_HOME", temp.path().string() + "/config/");
    EXPECT_EQ(AutostartEntryPath()->Host(),
              temp.path().string() + "/config/autostart/veltra.desktop");

    ScopedVariable relative("XDG_CONFIG_HOME", "config");  // would differ from folder to folder
    EXPECT_EQ(AutostartEntryPath()->Host(),
              temp.path().string() + "/home/.config/autostart/veltra.desktop");
    ScopedVariable unset("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(AutostartEntryPath()->Host(),
              temp.path().string() + "/home/.config/autostart/veltra.desktop");
}

TEST(Autostart, SwitchedOnItStartsTheDialogsHiddenAndOffItIsGone) {
    TempFolder temp;
    ScopedVariable config("XDG_CONFIG_HOME", temp.path().string() + "/config");
    const std::filesystem::path folder = temp.path() / "config" / "autostart";
    const std::filesystem::path entry = folder / "veltra.desktop";
    EXPECT_FALSE(AutostartEnabled());
    DisableAutostart();  // off already: nothing to do, nothing thrown

    EnableAutostart();  // the folders are made on the way
    EXPECT_TRUE(AutostartEnabled());
    const std::string content = ContentOf(entry);
    EXPECT_EQ(content.rfind("[Desktop Entry]\n", 0), 0U) << content;
    EXPECT_NE(content.find("\nType=Application\n"), std::string::npos) << content;
    EXPECT_NE(content.find("\nExec=veltra --hidden\n"), std::string::npos) << content;
    EXPECT_EQ(std::filesystem::status(entry).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0644));
    EXPECT_EQ(EntriesIn(folder), 1U) << "no temporary left beside the entry";

    std::ofstream(entry) << "[Desktop Entry]\nExec=old\n";  // an older entry is replaced whole
    EnableAutostart();
    EXPECT_EQ(ContentOf(entry), content);
    EXPECT_EQ(EntriesIn(folder), 1U);

    DisableAutostart();
    EXPECT_FALSE(AutostartEnabled());
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(EntriesIn(folder), 0U);
}

TEST(Autostart, AFailureNamesTheStepAndTheFolder) {
    TempFolder temp;
    std::ofstream(temp.path() / "config") << "a file where the folder should be";
    ScopedVariable config("XDG_CONFIG_HOME", (temp.path() / "config").string());
    try {
        EnableAutostart();
        FAIL() << "the entry cannot be written under a file";
    } catch (const std::system_error& error) {
        EXPECT_EQ(std::string(error.what()).rfind("cannot create " + temp.path().string(), 0), 0U)
            << error.what();
    }
    EXPECT_FALSE(AutostartEnabled());
}

}  // namespace
}  // namespace veltra::platform
