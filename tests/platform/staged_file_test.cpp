// Files that take their name only once whole, the record of the named temporaries, and the user's
// data folder it lives in.
#include "platform/staged_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/data_folder.h"
#include "platform/temporary_record.h"
#include "platform/utf8.h"
#include "temp_folder.h"

namespace veltra::platform {
namespace {

namespace fs = std::filesystem;
using veltra::testing::ScopedHome;
using veltra::testing::ScopedVariable;
using veltra::testing::TempFolder;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Every name in folder, hidden ones included, sorted.
std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The errno of a failure, or 0.
template <typename Call>
int ErrnoOf(Call call) {
    try {
        call();
    } catch (const std::system_error& error) {
        return error.code().value();
    }
    return 0;
}

// How a file is made and named: without a name and linked by its descriptor, without a name and
// linked through /proc (kernels that refuse the descriptor), or under a hidden name and renamed
// (file systems that refuse files without a name).
enum class Staging { kByDescriptor, kThroughProc, kNamed };

// Forces a way of staging for as long as it lives.
class ForcedStaging {
  public:
    explicit ForcedStaging(Staging way) {
        RefuseDescriptorLinks(way == Staging::kThroughProc);
        RefuseUnnamedFiles(way == Staging::kNamed);
    }
    ForcedStaging(const ForcedStaging&) = delete;
    ForcedStaging& operator=(const ForcedStaging&) = delete;
    ~ForcedStaging() {
        RefuseDescriptorLinks(false);
        RefuseUnnamedFiles(false);
    }
};

// Each case runs once for every way of staging.
class StagedFileTest : public ::testing::TestWithParam<Staging> {
  protected:
    StagedFileTest() : home_(temp_.path().string()), staging_(GetParam()) {
        fs::create_directory(Dir());
    }
    static bool Named() { return GetParam() == Staging::kNamed; }
    fs::path Dir() const { return temp_.path() / "in"; }
    fs::path Record() const { return temp_.path() / ".local/share/veltra/temporaries"; }
    Folder Opened() const { return Folder::Open(Path(Dir().wstring()), LastLink::kFollow); }

    TempFolder temp_;
    ScopedHome home_;
    ForcedStaging staging_;
};

INSTANTIATE_TEST_SUITE_P(EveryWay, StagedFileTest,
                         ::testing::Values(Staging::kByDescriptor, Staging::kThroughProc,
                                           Staging::kNamed),
                         [](const auto& way) {
                             switch (way.param) {
                                 case Staging::kByDescriptor:
                                     return "ByDescriptor";
                                 case Staging::kThroughProc:
                                     return "ThroughProc";
                                 case Staging::kNamed:
                                     break;
                             }
                             return "Named";
                         });

TEST_P(StagedFileTest, AFileGivenUpLeavesNothingAndItsNameIsListedOnlyWhileItExists) {
    const Folder folder = Opened();
    {
        StagedFile file(folder);
        EXPECT_EQ(file.Unnamed(), !Named());
        file.Write("abc", 3);
        EXPECT_EQ(file.Written(), 3u);
        if (Named()) {
            const std::vector<std::string> names = Names(Dir());
            ASSERT_EQ(names.size(), 1u);
            EXPECT_TRUE(IsTemporaryName(names[0])) << names[0];
            EXPECT_EQ(ReadText(Dir() / names[0]), "abc");
            EXPECT_EQ(ReadText(Record()), Dir().string() + '\0' + names[0] + '\0');
        } else {
            EXPECT_TRUE(Names(Dir()).empty());
            EXPECT_FALSE(fs::exists(Record()));
        }
    }
    EXPECT_TRUE(Names(Dir()).empty());
    EXPECT_FALSE(fs::exists(Record()));
}

TEST_P(StagedFileTest, PlaceIfFreeTakesOnlyAFreeNameAndKeepsTheContentForTheNext) {
    WriteText(Dir() / "taken.txt", "keep");
    WriteText(temp_.path() / "target", "keep");
    fs::create_directory(Dir() / "dir");
    fs::create_symlink(temp_.path() / "target", Dir() / "link");
    fs::create_symlink(temp_.path() / "nowhere", Dir() / "dangling");
    ASSERT_EQ(mkfifo((Dir() / "fifo").c_str(), 0644), 0);
    const Folder folder = Opened();
    {
        StagedFile file(folder);
        file.Write("new", 3);
        for (const char* taken : {"taken.txt", "dir", "link", "dangling", "fifo"}) {
            EXPECT_FALSE(file.PlaceIfFree(Utf8ToWide(taken))) << taken;
        }
        EXPECT_TRUE(file.PlaceIfFree(L"free.txt"));
    }
    EXPECT_EQ(ReadText(Dir() / "free.txt"), "new");
    EXPECT_EQ(ReadText(Dir() / "taken.txt"), "keep");
    EXPECT_EQ(ReadText(temp_.path() / "target"), "keep");
    EXPECT_FALSE(fs::exists(temp_.path() / "nowhere"));
    EXPECT_EQ(Names(Dir()), (std::vector<std::string>{"dangling", "dir", "fifo", "free.txt", "link",
                                                      "taken.txt"}));
    EXPECT_EQ(fs::status(Dir() / "free.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_FALSE(fs::exists(Record()));
}

TEST_P(StagedFileTest, PlaceOverReplacesALinkItselfAndLeavesNoTemporary) {
    WriteText(Dir() / "old.txt", "old content, longer");
    WriteText(temp_.path() / "target", "keep");
    WriteText(temp_.path() / "hard", "keep too");
    fs::create_symlink(temp_.path() / "target", Dir() / "link");
    fs::create_hard_link(temp_.path() / "hard", Dir() / "hardlink");
    const Folder folder = Opened();
    for (const char* name : {"old.txt", "link", "hardlink", "new.txt"}) {
        StagedFile file(folder);
        file.Write("new", 3);
        file.PlaceOver(Utf8ToWide(name));
    }
    for (const char* name : {"old.txt", "link", "hardlink", "new.txt"}) {
        EXPECT_EQ(ReadText(Dir() / name), "new") << name;
    }
    EXPECT_FALSE(fs::is_symlink(Dir() / "link"));
    EXPECT_EQ(ReadText(temp_.path() / "target"), "keep");
    EXPECT_EQ(ReadText(temp_.path() / "hard"), "keep too");
    EXPECT_EQ(Names(Dir()), (std::vector<std::string>{"hardlink", "link", "new.txt", "old.txt"}));
    EXPECT_FALSE(fs::exists(Record()));
}

TEST_P(StagedFileTest, FailuresCarryTheirCauseAndLeaveNothing) {
    EXPECT_EQ(
        ErrnoOf([&] {
            StagedFile file(Folder::Open(Path((Dir() / "missing").wstring()), LastLink::kFollow));
        }),
        ENOENT);
    WriteText(temp_.path() / "plain", "");
    EXPECT_EQ(ErrnoOf([&] {
                  StagedFile file(
                      Folder::Open(Path((temp_.path() / "plain").wstring()), LastLink::kFollow));
              }),
              ENOTDIR);
    const Folder folder = Opened();
    fs::create_directory(Dir() / "dir");
    {
        StagedFile file(folder);
        file.Write("x", 1);
        EXPECT_EQ(ErrnoOf([&] { file.PlaceIfFree(std::wstring(256, L'n')); }), ENAMETOOLONG);
        EXPECT_NE(ErrnoOf([&] { file.PlaceOver(L"dir"); }), 0);
    }
    EXPECT_EQ(Names(Dir()), std::vector<std::string>{"dir"});
    EXPECT_TRUE(fs::is_empty(Dir() / "dir"));
    EXPECT_FALSE(fs::exists(Record()));
}

TEST(TemporaryNames, OnlyTheOwnPatternCounts) {
    const std::string fresh = NewTemporaryName();
    EXPECT_TRUE(IsTemporaryName(fresh)) << fresh;
    EXPECT_NE(NewTemporaryName(), fresh);
    EXPECT_TRUE(IsTemporaryName(".veltra-0123456789abcdef"));
    for (const char* other :
         {".veltra-0123456789abcde", ".veltra-0123456789abcdef0", ".veltra-0123456789ABCDEF",
          "veltra-0123456789abcdef", ".veltra-0123456789abcdeg", ".veltra-../../etc/passw", ""}) {
        EXPECT_FALSE(IsTemporaryName(other)) << other;
    }
}

// A process that makes a named temporary and dies without a word, as a crash would.
void CrashWithATemporaryIn(const fs::path& folder) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RefuseUnnamedFiles(true);
        const Folder opened = Folder::Open(Path(folder.wstring()), LastLink::kFollow);
        std::optional<StagedFile> file;
        file.emplace(opened);
        file->Write("left", 4);
        _exit(0);  // no destructor runs
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
}

TEST(TemporaryRecord, ACrashsTemporariesAreRemovedAtTheNextStartAndNothingElse) {
    TempFolder temp;
    ScopedHome home(temp.path().string());
    const fs::path one = temp.path() / "one";
    const fs::path two = temp.path() / "two";
    fs::create_directories(one);
    fs::create_directories(two);
    CrashWithATemporaryIn(one);
    CrashWithATemporaryIn(two);
    ASSERT_EQ(Names(one).size(), 1u);
    ASSERT_EQ(Names(two).size(), 1u);
    const std::string left_in_one = Names(one)[0];
    // Names of the pattern that the record does not list, and a listed name not of the pattern.
    WriteText(one / ".veltra-0123456789abcdef", "not listed");
    WriteText(two / "photo.jpg", "mine");
    const fs::path record = temp.path() / ".local/share/veltra/temporaries";
    ASSERT_TRUE(fs::exists(record));
    std::ofstream(record, std::ios::app) << two.string() << '\0' << "photo.jpg" << '\0';
    // One of this process's own, alive.
    RefuseUnnamedFiles(true);
    const Folder folder = Folder::Open(Path(one.wstring()), LastLink::kFollow);
    StagedFile alive(folder);
    RefuseUnnamedFiles(false);

    EXPECT_EQ(RemoveLeftoverTemporaries(), 2u);
    EXPECT_EQ(Names(two), std::vector<std::string>{"photo.jpg"});
    const std::vector<std::string> kept = Names(one);
    EXPECT_EQ(kept.size(), 2u);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), left_in_one), 0);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), ".veltra-0123456789abcdef"), 1);
    // The record lists only the one alive now, and goes with it.
    EXPECT_EQ(RemoveLeftoverTemporaries(), 0u);
    EXPECT_EQ(Names(one).size(), 2u);
}

TEST(TemporaryRecord, WithoutARecordNothingIsRemovedAndNoFolderMade) {
    TempFolder temp;
    ScopedHome home(temp.path().string());
    WriteText(temp.path() / ".veltra-0123456789abcdef", "not listed");
    EXPECT_EQ(RemoveLeftoverTemporaries(), 0u);
    EXPECT_TRUE(fs::exists(temp.path() / ".veltra-0123456789abcdef"));
    EXPECT_FALSE(fs::exists(temp.path() / ".local"));
}

TEST(UserDataFolder, XdgDataHomeWhenAbsoluteElseUnderHomeMadeForTheUserAlone) {
    TempFolder temp;
    ScopedHome home(temp.path().string());
    const std::string home_default = (temp.path() / ".local/share/veltra").string();
    EXPECT_EQ(UserDataFolder(MissingFolder::kLeave)->Host(), home_default);
    EXPECT_FALSE(fs::exists(home_default));
    EXPECT_EQ(UserDataFolder(MissingFolder::kMake)->Host(), home_default);
    EXPECT_EQ(fs::status(home_default).permissions() & fs::perms::all, fs::perms::owner_all);
    {
        ScopedVariable relative("XDG_DATA_HOME", "data");
        EXPECT_EQ(UserDataFolder(MissingFolder::kMake)->Host(), home_default);
    }
    ScopedVariable absolute("XDG_DATA_HOME", (temp.path() / "data/").string());
    EXPECT_EQ(UserDataFolder(MissingFolder::kMake)->Host(), (temp.path() / "data/veltra").string());
    EXPECT_EQ(fs::status(temp.path() / "data").permissions() & fs::perms::all,
              fs::perms::owner_all);
    // A file where the folder should be: nothing to write into.
    WriteText(temp.path() / "file", "");
    ScopedVariable blocked("XDG_DATA_HOME", (temp.path() / "file").string());
    EXPECT_FALSE(UserDataFolder(MissingFolder::kMake));
}

}  // namespace
}  // namespace veltra::platform
