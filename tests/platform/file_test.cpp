#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/resolved_path.h"
#include "platform/socket.h"
#include "platform/staged_file.h"
#include "platform/utf8.h"
#include "temp_folder.h"

namespace veltra::platform {
namespace {

namespace fs = std::filesystem;
using veltra::testing::ScopedHome;
using veltra::testing::TempFolder;

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ReadAll(File& file) {
    std::string content;
    char buffer[7];  // small on purpose: several reads per file
    for (IoResult n; (n = file.Read(buffer, sizeof buffer)).Moved();) {
        content.append(buffer, n.bytes);
    }
    return content;
}

// A file of that content made in folder, as received files are.
void CreateIn(const Folder& folder, std::wstring_view name, std::string_view content) {
    StagedFile file(folder);
    file.Write(content.data(), content.size());
    ASSERT_TRUE(file.PlaceIfFree(name));
}

class FileTest : public ::testing::Test {
  protected:
    Path At(const std::string& name) const { return Path((temp_.path() / name).wstring()); }
    // The test's folder, or one in it, held open to create files in.
    Folder Opened(const std::string& name = ".") const {
        return Folder::Open(At(name), LastLink::kFollow);
    }
    fs::path Host(const std::string& name) const { return temp_.path() / name; }
    TempFolder temp_;
};

TEST_F(FileTest, WrittenBytesReadBackAndQueryReportsThem) {
    CreateIn(Opened(), L"a.txt", std::string_view("hello\0world", 11));
    auto file = File::OpenForRead(At("a.txt"));
    ASSERT_TRUE(file);
    EXPECT_EQ(ReadAll(*file), std::string("hello\0world", 11));
    char past_end;
    EXPECT_EQ(file->Read(&past_end, 1).status, IoStatus::kEnd);
    const auto info = file->Query();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->size, 11u);
    EXPECT_EQ(info->attributes & kAttributeDirectory, 0u);
    EXPECT_EQ(info->attributes & kAttributeHidden, 0u);
}

TEST_F(FileTest, CreationTimeCountsFrom1601) {
    WriteText(Host("t"), "x");
    const auto info = QueryPath(At("t"));
    ASSERT_TRUE(info);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const uint64_t now_file_time =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count() +
                              11644473600LL) *
        10000000ULL;
    const uint64_t hour = 3600ULL * 10000000ULL;
    EXPECT_GT(info->creation_time, now_file_time - hour);
    EXPECT_LT(info->creation_time, now_file_time + hour);
}

TEST_F(FileTest, DirectoriesOpenForQueryButNotForReading) {
    fs::create_directory(Host("dir"));
    auto dir = File::OpenForRead(At("dir"));
    ASSERT_TRUE(dir);
    char byte;
    const IoResult read = dir->Read(&byte, 1);
    EXPECT_EQ(read.status, IoStatus::kFailed);
    EXPECT_EQ(read.error, EISDIR);  // the cause comes with the failure
    const auto info = dir->Query();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->attributes & kAttributeDirectory, kAttributeDirectory);
}

TEST_F(FileTest, OnlyExistingRegularFilesAndFoldersOpen) {
    EXPECT_FALSE(File::OpenForRead(At("missing")));
    ASSERT_EQ(mkfifo(Host("fifo").c_str(), 0644), 0);
    EXPECT_FALSE(File::OpenForRead(At("fifo")));  // and does not wait for a writer
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

TEST_F(FileTest, AFolderThatIsALinkIsFollowedOnlyWhenAsked) {
    fs::create_directory(Host("real"));
    fs::create_directory_symlink(Host("real"), Host("link"));
    for (const char* refused : {"link", "link/"}) {
        const Folder folder = Folder::Open(At(refused), LastLink::kRefuse);
        EXPECT_NE(folder.Error(), 0) << refused;
        EXPECT_NE(ErrnoOf([&] { StagedFile file(folder); }), 0) << refused;
    }
    EXPECT_TRUE(fs::is_empty(Host("real")));
    CreateIn(Opened("link"), L"a.txt", "");
    EXPECT_TRUE(fs::exists(Host("real/a.txt")));
}

// A received file is keyed by its folder's path hash and its name: the hash must be the path's,
// the same however the folder was reached and after a move.
TEST_F(FileTest, AFoldersPathHashIsItsHostPathsAndMovesWithIt) {
    fs::create_directory(Host("one"));
    fs::create_directory(Host("two"));
    Folder one = Folder::Open(At("one"), LastLink::kRefuse);
    const std::size_t hash = one.PathHash();
    EXPECT_EQ(hash, std::hash<std::string>{}(one.HostPath()));
    EXPECT_EQ(Folder::Open(At("one/"), LastLink::kRefuse).PathHash(), hash);
    EXPECT_NE(Folder::Open(At("two"), LastLink::kRefuse).PathHash(), hash);
    const Folder moved(std::move(one));
    EXPECT_EQ(moved.PathHash(), hash);
    Folder assigned = Folder::Open(At("two"), LastLink::kRefuse);
    assigned = Folder::Open(At("one"), LastLink::kRefuse);
    EXPECT_EQ(assigned.PathHash(), hash);
}

TEST_F(FileTest, ExclusiveOpenKeepsOthersOutUntilClosed) {
    WriteText(Host("a.txt"), "content");
    {
        auto first = File::OpenForRead(At("a.txt"));
        ASSERT_TRUE(first);
        EXPECT_FALSE(File::OpenForRead(At("a.txt")));
        EXPECT_TRUE(File::OpenForRead(At("a.txt"), Sharing::kShared));
    }
    auto again = File::OpenForRead(At("a.txt"));
    EXPECT_TRUE(again);
    // Assigning over a File closes the one it held, and with it the lock.
    WriteText(Host("b.txt"), "b");
    *again = std::move(*File::OpenForRead(At("b.txt")));
    EXPECT_TRUE(File::OpenForRead(At("a.txt")));
    EXPECT_FALSE(File::OpenForRead(At("b.txt")));
}

// Every handle closes its descriptor exactly once: a moved-from handle closes nothing, an
// assignment closes what the target held, and nothing is left open at the end.
TEST_F(FileTest, HandlesCloseTheirDescriptorsWhateverTheMoves) {
    const auto open_descriptors = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    const auto open_before = open_descriptors();
    fs::create_directory(Host("sub"));
    {
        Folder folder = Opened();
        Folder moved = std::move(folder);
        folder = Opened("sub");  // the moved-from handle takes a new descriptor
        moved = std::move(folder);
        EXPECT_GE(fcntl(moved.Descriptor(), F_GETFD), 0);
        EXPECT_THROW(folder.Descriptor(), std::system_error);

        auto search = DirectorySearch::Open(At("."));
        ASSERT_TRUE(search);
        DirectorySearch listing = std::move(*search);
        EXPECT_TRUE(listing.Next());

        Socket socket = Socket::Udp();
        const int descriptor = socket.Descriptor();
        Socket taken = std::move(socket);
        EXPECT_EQ(taken.Descriptor(), descriptor);
        EXPECT_FALSE(socket.Valid());
        taken = Socket::Udp();
        EXPECT_EQ(fcntl(descriptor, F_GETFD), -1);  // closed by the assignment
    }
    EXPECT_EQ(open_descriptors(), open_before);
}

TEST_F(FileTest, LargeContentAndLongPaths) {
    std::string folder;
    for (int i = 0; i < 12; ++i) {
        folder += (i ? "/" : "") + std::string(40, static_cast<char>('a' + i));
    }
    fs::create_directories(Host(folder));
    ASSERT_GT(At(folder).Text().size(), 500u);
    std::string data(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 131 % 251);
    }
    CreateIn(Opened(folder), L"data.bin", data);
    auto file = File::OpenForRead(At(folder + "/data.bin"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Query()->size, data.size());
    std::string back;
    std::vector<char> buffer(16384);
    for (IoResult n; (n = file->Read(buffer.data(), buffer.size())).Moved();) {
        back.append(buffer.data(), n.bytes);
    }
    EXPECT_TRUE(back == data);
}

TEST_F(FileTest, DevicePathsLandInTheHomeFolder) {
    ScopedHome home(temp_.path().string());
    EXPECT_TRUE(CreateFolder(Path(L"\\Storage Card\\Received")));
    EXPECT_TRUE(fs::is_directory(Host("Received")));
    EXPECT_FALSE(CreateFolder(Path(L"\\Storage Card\\Received")));  // exists already
    EXPECT_FALSE(CreateFolder(Path(L"\\Storage Card\\a\\b")));      // parent missing
    EXPECT_TRUE(CreateFolder(Path(L"\\Storage Card\\Received\\album\\")));
    EXPECT_TRUE(CreateFolder(Path(L"\\Storage Card\\Received\\album\\disc1/")));
    CreateIn(Folder::Open(Path(L"\\Storage Card\\Received\\album\\disc1/"), LastLink::kRefuse),
             L"歌.mp3", "mp3");
    EXPECT_EQ(ReadText(Host("Received/album/disc1/歌.mp3")), "mp3");
    const auto info = QueryPath(Path(L"\\Storage Card\\Received\\"));
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->attributes & kAttributeDirectory);
}

TEST_F(FileTest, QueryPathFollowsLinks) {
    WriteText(Host("f"), "12345");
    WriteText(Host(".hidden"), "");
    fs::create_directory(Host("d"));
    fs::create_directory_symlink(Host("d"), Host("dlink"));
    fs::create_symlink(Host("nowhere"), Host("dangling"));

    EXPECT_EQ(QueryPath(At("f"))->size, 5u);
    EXPECT_EQ(QueryPath(At("f"))->attributes, 0u);
    EXPECT_EQ(QueryPath(At(".hidden"))->attributes, kAttributeHidden);
    EXPECT_EQ(QueryPath(At("d"))->attributes, kAttributeDirectory);
    EXPECT_EQ(QueryPath(At("dlink"))->attributes, kAttributeDirectory);
    EXPECT_FALSE(QueryPath(At("missing")));
    EXPECT_FALSE(QueryPath(At("dangling")));
}

std::vector<DirectoryEntry> ListAll(DirectorySearch& search) {
    std::vector<DirectoryEntry> entries;
    while (auto entry = search.Next()) {
        entries.push_back(std::move(*entry));
    }
    return entries;
}

TEST_F(FileTest, DirectorySearchListsEntriesInNameOrder) {
    fs::create_directory(Host("Trip"));
    WriteText(Host("Trip/b.txt"), "hello");
    fs::create_directory(Host("Trip/pics"));
    WriteText(Host("Trip/pics/x.jpg"), "not listed: one level only");
    fs::create_directory(Host("Trip/.cache"));
    WriteText(Host("Trip/a中.txt"), "");
    ASSERT_EQ(mkfifo(Host("Trip/fifo").c_str(), 0644), 0);

    auto search = DirectorySearch::Open(At("Trip"));
    ASSERT_TRUE(search);
    const auto entries = ListAll(*search);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].Name(), L".cache");
    EXPECT_EQ(entries[0].attributes, kAttributeDirectory | kAttributeHidden);
    EXPECT_EQ(entries[1].Name(), L"a中.txt");
    EXPECT_EQ(entries[1].attributes, 0u);
    // A file's size comes with the entry only where the listing had to look at the file.
    EXPECT_EQ(entries[1].size.value_or(0), 0u);
    EXPECT_EQ(entries[2].Name(), L"b.txt");
    EXPECT_EQ(entries[2].size.value_or(5), 5u);
    EXPECT_EQ(entries[3].Name(), L"pics");
    EXPECT_EQ(entries[3].attributes, kAttributeDirectory);
    EXPECT_EQ(entries[3].size, 0u);
    for (const auto& entry : entries) {
        EXPECT_FALSE(entry.is_symlink);
    }
    EXPECT_FALSE(search->Next());
}

TEST_F(FileTest, DirectorySearchNeverReportsALinkAsAFolder) {
    fs::create_directory(Host("d"));
    fs::create_directory(Host("elsewhere"));
    WriteText(Host("elsewhere/big"), "0123456789");
    fs::create_directory_symlink(Host("elsewhere"), Host("d/dirlink"));
    fs::create_symlink(Host("elsewhere/big"), Host("d/filelink"));
    fs::create_symlink(Host("nowhere"), Host("d/dangling"));

    auto search = DirectorySearch::Open(At("d"));
    ASSERT_TRUE(search);
    const auto entries = ListAll(*search);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name(), L"dangling");
    EXPECT_EQ(entries[1].Name(), L"dirlink");
    EXPECT_EQ(entries[2].Name(), L"filelink");
    for (const auto& entry : entries) {
        EXPECT_TRUE(entry.is_symlink);
        EXPECT_EQ(entry.attributes & kAttributeDirectory, 0u);
    }
    EXPECT_EQ(entries[0].size, 0u);
    EXPECT_EQ(entries[1].size, 0u);
    EXPECT_EQ(entries[2].size, 10u);
}

TEST_F(FileTest, DirectorySearchOnEmptyMissingOrFile) {
    fs::create_directory(Host("empty"));
    WriteText(Host("file"), "x");
    auto empty = DirectorySearch::Open(At("empty"));
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->Next());
    EXPECT_FALSE(empty->Next());
    EXPECT_FALSE(DirectorySearch::Open(At("missing")));
    EXPECT_FALSE(DirectorySearch::Open(At("file")));
}

// An entry is opened for what it is by the time of the open, which need not be what the listing
// saw; a link is never followed unless asked.
TEST_F(FileTest, OpenEntryNeverFollowsALinkAndTellsWhatItFound) {
    fs::create_directory(Host("d"));
    WriteText(Host("d/a-file"), "12345");
    fs::create_directory(Host("d/b-folder"));
    WriteText(Host("d/b-folder/x"), "");
    WriteText(Host("outside"), "outside");
    fs::create_symlink(Host("outside"), Host("d/c-link"));
    WriteText(Host("d/d-swapped"), "listed");
    WriteText(Host("d/e-vanishing"), "");
    WriteText(Host("d/f-piped"), "");
    auto search = DirectorySearch::Open(At("d"));
    ASSERT_TRUE(search);
    const auto entries = ListAll(*search);
    ASSERT_EQ(entries.size(), 6u);
    fs::remove(Host("d/d-swapped"));
    fs::create_symlink(Host("outside"), Host("d/d-swapped"));
    fs::remove(Host("d/e-vanishing"));
    fs::remove(Host("d/f-piped"));
    ASSERT_EQ(mkfifo(Host("d/f-piped").c_str(), 0644), 0);

    OpenedEntry file = search->OpenEntry(entries[0]);
    EXPECT_EQ(file.kind, OpenedEntry::Kind::kFile);
    EXPECT_EQ(file.size, 5u);
    ASSERT_TRUE(file.file);
    EXPECT_EQ(ReadAll(*file.file), "12345");
    EXPECT_FALSE(File::OpenForRead(At("d/a-file")));  // held
    // Held elsewhere: its size still comes, without the file.
    OpenedEntry held = search->OpenEntry(entries[0]);
    EXPECT_EQ(held.kind, OpenedEntry::Kind::kFile);
    EXPECT_EQ(held.size, 5u);
    EXPECT_FALSE(held.file);

    OpenedEntry folder = search->OpenEntry(entries[1]);
    EXPECT_EQ(folder.kind, OpenedEntry::Kind::kFolder);
    ASSERT_TRUE(folder.folder);
    const auto inside = ListAll(*folder.folder);
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0].Name(), L"x");

    EXPECT_EQ(search->OpenEntry(entries[2]).kind, OpenedEntry::Kind::kLink);
    EXPECT_EQ(search->OpenEntry(entries[3]).kind, OpenedEntry::Kind::kLink);
    EXPECT_EQ(search->OpenEntry(entries[4]).kind, OpenedEntry::Kind::kGone);
    EXPECT_EQ(search->OpenEntry(entries[5]).kind, OpenedEntry::Kind::kOther);

    // Followed when asked, and not held until the one who follows has judged where it leads.
    auto followed = search->OpenFollowingLink(entries[3]);
    ASSERT_TRUE(followed);
    EXPECT_EQ(ReadAll(*followed), "outside");
    EXPECT_TRUE(File::OpenForRead(At("outside")));
    EXPECT_TRUE(followed->HoldExclusively());
    EXPECT_FALSE(File::OpenForRead(At("outside")));
    EXPECT_FALSE(search->OpenFollowingLink(entries[1]));  // a folder
    EXPECT_FALSE(search->OpenFollowingLink(entries[4]));
}

// What a path led to stays known by what was opened, however the path changes afterwards.
TEST_F(FileTest, IdentityAndResolvedPathAreThoseOfWhatWasOpened) {
    WriteText(Host("f"), "f");
    fs::create_symlink(Host("f"), Host("link"));
    fs::create_directory(Host("d"));
    fs::create_directory_symlink(Host("d"), Host("dlink"));
    auto file = File::OpenForRead(At("f"), Sharing::kShared);
    auto linked = File::OpenForRead(At("link"), Sharing::kShared);
    ASSERT_TRUE(file && linked);
    ASSERT_TRUE(file->Identity());
    EXPECT_EQ(file->Identity(), linked->Identity());
    ASSERT_TRUE(ResolvedPath(*linked));
    EXPECT_EQ(ResolvedPath(*linked)->Host(), fs::canonical(Host("f")).string());

    auto folder = DirectorySearch::Open(At("dlink"));
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->Identity(), File::OpenForRead(At("d"))->Identity());
    EXPECT_NE(folder->Identity(), file->Identity());
    ASSERT_TRUE(ResolvedPath(*folder));
    EXPECT_EQ(ResolvedPath(*folder)->Host(), fs::canonical(Host("d")).string());

    WriteText(Host("g"), "g");
    fs::rename(Host("g"), Host("f"));
    EXPECT_NE(File::OpenForRead(At("f"), Sharing::kShared)->Identity(), file->Identity());
    EXPECT_FALSE(ResolvedPath(*file));  // replaced: no name leads to it any more
}

TEST_F(FileTest, NamesThatAreNotUtf8MapBackToTheSameFile) {
    fs::create_directory(Host("d"));
    const std::string gbk_name = "\xD6\xD0.txt";  // a name written by some other program
    WriteText(Host("d") / gbk_name, "raw");
    auto search = DirectorySearch::Open(At("d"));
    ASSERT_TRUE(search);
    const auto entry = search->Next();
    ASSERT_TRUE(entry);
    auto file = File::OpenForRead(At("d") / entry->Name());
    ASSERT_TRUE(file);
    EXPECT_EQ(ReadAll(*file), "raw");
}

}  // namespace
}  // namespace veltra::platform
