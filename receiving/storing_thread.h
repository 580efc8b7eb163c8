#pragma once
// Small files of a folder being received are stored on a thread of their own. What a small file
// costs is almost all the file system's (create, write, name, close: about four fifths of the
// reading thread's time for files of 4 KiB); on that thread, it runs while the stream's next
// files are read.
//
// Files are stored, and their events posted, in the order they were queued. While any is queued,
// the storing thread alone touches the download's context (its counts, its stored names, the
// entry's outcome): the reading thread drains the queue before it touches the context itself,
// and before a folder that queued files name is closed.

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/folder.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"

namespace veltra {

class StoringThread {
  public:
    // Files are queued until either bound is reached; then Queue waits for the thread. Twice the
    // bytes (the queue and the files being stored) is the most the queue holds.
    static constexpr std::size_t kMaxQueuedBytes = 512 * 1024;
    static constexpr std::size_t kMaxQueuedFiles = 256;
    // The thread is woken once this many files are queued, or when the reader is to wait for the
    // stream: waking it for every file would cost two switches of thread a file.
    static constexpr std::size_t kWakeFiles = 32;

    // Without a thread (none could be made), files are stored at once on the caller's.
    explicit StoringThread(DownloadContext& context);
    // Waits for the queued files, then ends the thread.
    ~StoringThread();
    StoringThread(const StoringThread&) = delete;
    StoringThread& operator=(const StoringThread&) = delete;

    // Queues a file whose content arrived whole, stored as name (one path component) in folder,
    // which is to stay open until the file is stored (see Drain). more_at_hand: the reader has
    // more of the stream buffered, so it does not wait before it queues the next file.
    void Queue(const platform::Folder& folder, std::wstring name, const AttachmentInfo& info,
               std::string_view content, bool more_at_hand);
    // Returns once every queued file is stored and reported; rethrows what storing one threw
    // (other than the file's own failures, which its FileDone reports).
    void Drain();

  private:
    friend class DrainedBefore;

    struct QueuedFile {
        const platform::Folder* folder;
        std::wstring name;
        AttachmentInfo info;
        std::size_t content_begin;
        std::size_t content_size;
    };
    // Files and their contents, one after another in one buffer: a batch reused, not reallocated.
    struct Batch {
        std::vector<QueuedFile> files;
        std::string contents;
        bool Empty() const { return files.empty(); }
        void Clear() {
            files.clear();
            contents.clear();
        }
    };

    void Run(const std::stop_token& stop);
    void Store(const Batch& batch);
    bool Full() const;
    void WaitIdle();

    DownloadContext& context_;
    std::mutex mutex_;
    std::condition_variable_any changed_;  // a batch queued, taken or stored, or the end asked
    Batch queued_;                         // guarded by mutex_
    bool storing_ = false;                 // guarded by mutex_: the thread has a batch in hand
    std::exception_ptr failure_;           // guarded by mutex_
    std::jthread thread_;                  // last: it starts once the rest is made
};

// Drains a StoringThread when it goes, even by an exception: declared after a folder that files
// are queued for, it keeps the folder open until they are stored.
class DrainedBefore {
  public:
    explicit DrainedBefore(StoringThread& storing) : storing_(storing) {}
    ~DrainedBefore();
    DrainedBefore(const DrainedBefore&) = delete;
    DrainedBefore& operator=(const DrainedBefore&) = delete;

  private:
    StoringThread& storing_;
};

}  // namespace veltra
