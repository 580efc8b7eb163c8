#include "receiving/storing_thread.h"

#include <system_error>
#include <utility>

#include "common/started_thread.h"
#include "receiving/incoming_file.h"

namespace veltra {

StoringThread::StoringThread(DownloadContext& context) : context_(context) {
    try {
        thread_ = StartThread<std::jthread>("storing",
                                            [this](const std::stop_token& stop) { Run(stop); });
    } catch (const std::system_error&) {
        // Files are then stored on the reading thread, as they arrive: slower, never lost.
    }
}

StoringThread::~StoringThread() {
    if (thread_.joinable()) {
        WaitIdle();
    }
}

void StoringThread::Queue(const platform::Folder& folder, std::wstring name,
                          const AttachmentInfo& info, std::string_view content, bool more_at_hand) {
    if (!thread_.joinable()) {
        StoreWholeFile(context_, folder, name, info, content);
        return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !Full(); });
    queued_.files.push_back(
        QueuedFile{&folder, std::move(name), info, queued_.contents.size(), content.size()});
    queued_.contents.append(content);
    const bool wake = !more_at_hand || queued_.files.size() >= kWakeFiles;
    lock.unlock();
    if (wake) {
        changed_.notify_all();
    }
}

void StoringThread::Drain() {
    if (!thread_.joinable()) {
        return;
    }
    WaitIdle();
    std::exception_ptr failure;
    {
        const std::scoped_lock lock(mutex_);
        failure = std::exchange(failure_, nullptr);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void StoringThread::WaitIdle() {
    changed_.notify_all();  // files queued may not have woken the thread yet
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queued_.Empty() && !storing_; });
}

bool StoringThread::Full() const {
    return queued_.files.size() >= kMaxQueuedFiles || queued_.contents.size() >= kMaxQueuedBytes;
}

void StoringThread::Run(const std::stop_token& stop) {
    Batch batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!changed_.wait(lock, stop, [this] { return !queued_.Empty(); })) {
            return;  // asked to end, with nothing queued
        }
        std::swap(batch, queued_);
        storing_ = true;
        const bool failed = failure_ != nullptr;
        lock.unlock();
        changed_.notify_all();  // room in the queue
        if (!failed) {
            try {
                Store(batch);
            } catch (...) {
                lock.lock();
                failure_ = std::current_exception();
                lock.unlock();
            }
        }
        batch.Clear();
        lock.lock();
        storing_ = false;
        changed_.notify_all();  // drained, perhaps
    }
}

void StoringThread::Store(const Batch& batch) {
    const std::string_view contents = batch.contents;
    for (const QueuedFile& file : batch.files) {
        StoreWholeFile(context_, *file.folder, file.name, file.info,
                       contents.substr(file.content_begin, file.content_size));
    }
}

DrainedBefore::~DrainedBefore() {
    if (storing_.thread_.joinable()) {
        storing_.WaitIdle();
    }
}

}  // namespace veltra
