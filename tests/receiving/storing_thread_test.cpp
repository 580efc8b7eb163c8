// A folder's small files are stored on a thread of their own while the stream is read on: the
// log keeps the stream's order, every file lands whole in its own folder, and a cut ends as ever.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>
#include <thread>
#include <vector>

#include "receiving/directory_download.h"
#include "receiving/storing_thread.h"
#include "tests/receiving/receiving_fixture.h"

namespace veltra::testing {
namespace {

namespace fs = std::filesystem;

class StoringFolders : public ReceivingTest {
  protected:
    // Reads stream as a folder's stream, the sender writing all of it and closing from a thread of
    // its own. A stream shorter than one buffer arrives in one receive, so every file of it is
    // queued with more of the stream at hand and waits, unstored, for whatever drains the queue.
    FileOutcome ReceiveStream(const std::string& stream) {
        int ends[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        platform::Socket socket(ends[0]);
        std::thread writer(
            [&stream, writing = platform::Socket(ends[1])] { SendBytes(writing, stream); });
        TransferCancel cancel;
        DownloadContext context(events_, engine_, settings_, cancel, QuickLimits());
        ContentReader reader(socket);
        const FileOutcome outcome = ReceiveDirectory(context, reader);
        writer.join();
        received_files_ = context.received_files;
        return outcome;
    }
    std::vector<std::string> DoneNames() {
        std::vector<std::string> names;
        for (const FileDone& done : events_.Of<FileDone>()) {
            names.push_back(done.name);
        }
        return names;
    }
    std::uint64_t received_files_ = 0;
};

TEST_F(StoringFolders, EveryEntryIsReportedInTheStreamsOrder) {
    // A refused name, a folder and a file too large to queue are each handled on the reading
    // thread, after the files queued before them.
    const std::string stream =
        DirHeader("d") + FileItem("f1", Pattern(100, 1)) + FileItem("f2", Pattern(10, 2)) +
        FileItem("..", "xy") + FileItem("f3", "") + DirHeader("sub") + FileItem("f4", "4") +
        EndMark() + FileItem("f5", Pattern(7, 5)) +
        FileItem("large", Pattern(kStreamBuffer + 1, 6)) + FileItem("f6", "6") + EndMark();
    ASSERT_EQ(ReceiveStream(stream), FileOutcome::kStored);

    const std::vector<std::string> order = {"f1", "f2", "..", "f3", "f4", "f5", "large", "f6"};
    EXPECT_EQ(DoneNames(), order);
    std::vector<std::string> started;
    for (const FileStarted& file : events_.Of<FileStarted>()) {
        started.push_back(file.name);
    }
    EXPECT_EQ(started, order);
    EXPECT_EQ(ReadFile(Received() / "d" / "large"), Pattern(kStreamBuffer + 1, 6));
    EXPECT_EQ(ReadFile(Received() / "d" / "sub" / "f4"), "4");
    EXPECT_EQ(received_files_, 7u);
}

TEST_F(StoringFolders, FilesLandWholeInTheirOwnFoldersHoweverManyAreQueued) {
    // More files than the queue holds, then the last few of the deepest folder queued just
    // before its end mark closes it.
    std::vector<std::pair<fs::path, std::string>> files;
    std::string stream = DirHeader("top");
    const auto add = [&](const fs::path& folder, int count) {
        for (int i = 0; i < count; ++i) {  // names unique in the whole tree
            const std::string name = "n" + std::to_string(files.size());
            const std::string content = Pattern(100 + files.size() % 7, files.size());
            stream += FileItem(name, content);
            files.emplace_back(folder / name, content);
        }
    };
    add("top", StoringThread::kMaxQueuedFiles + 44);
    stream += DirHeader("sub");
    add("top/sub", 20);
    stream += DirHeader("deeper");
    add("top/sub/deeper", 10);
    stream += EndMark() + EndMark();
    add("top", 5);
    stream += EndMark();
    ASSERT_EQ(ReceiveStream(stream), FileOutcome::kStored);

    for (const auto& [path, content] : files) {
        EXPECT_EQ(ReadFile(Received() / path), content) << path;
    }
    EXPECT_EQ(NamesIn(Received() / "top/sub/deeper").size(), 10u);
    EXPECT_EQ(received_files_, files.size());
    EXPECT_EQ(events_.Count<FileDone>(), files.size());
}

TEST_F(StoringFolders, AFileCutShortEndsTheFolderAfterTheFilesBeforeItAreStored) {
    const std::string stream = DirHeader("d") + FileItem("a", Pattern(300, 1)) +
                               FileItem("b", Pattern(20, 2)) + FileHeader("cut", 1000) +
                               Pattern(500, 3);
    EXPECT_EQ(ReceiveStream(stream), FileOutcome::kConnectionLost);

    EXPECT_EQ(ReadFile(Received() / "d" / "a"), Pattern(300, 1));
    EXPECT_EQ(ReadFile(Received() / "d" / "b"), Pattern(20, 2));
    EXPECT_EQ(NamesIn(Received() / "d"), (std::vector<std::string>{"a", "b"}));
    const std::vector<FileDone> done = events_.Of<FileDone>();
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[2].name, "cut");
    EXPECT_EQ(done[2].received, 500u);
    EXPECT_EQ(done[2].outcome, FileOutcome::kConnectionLost);
    EXPECT_EQ(received_files_, 2u);
}

}  // namespace
}  // namespace veltra::testing
