#include "receiving/download_manager.h"

#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "common/started_thread.h"
#include "common/text.h"
#include "engine/engine.h"
#include "platform/socket.h"
#include "receiving/attachment_list.h"
#include "receiving/download_client.h"
#include "receiving/file_events.h"

namespace veltra {

namespace {

// The extension runs to its NUL, which the packet parser always writes inside the text buffer;
// the bound only guards against a record filled by other means.
std::string_view ExtensionOf(const PacketRecord& packet) {
    if (packet.extension_offset < 0 || packet.extension_offset >= MAX_PACKET) {
        return {};
    }
    const char* extension = packet.Extension();
    return {extension,
            strnlen(extension, static_cast<std::size_t>(MAX_PACKET - packet.extension_offset))};
}

// Kinds of trouble the log reports, each once a minute (a full source once per source).
enum NoticeKind : std::uint32_t {
    kSourceFull = 1,
    kQueueFull,
    kWorkerNotStarted,
    kBatchFailed,
    kWorkerFailed
};

}  // namespace

DownloadManager::DownloadManager(EventSink& sink, CMessengerEngine& engine,
                                 const Settings& settings, DownloadLimits limits,
                                 OfferQueueLimits queue_limits, NoticeLog::Clock clock,
                                 SourceListed listed)
    : context_{sink, engine, settings, cancel_, limits},
      queue_(queue_limits),
      notices_(&sink, clock),
      listed_(std::move(listed)),
      unreachable_(std::move(clock)) {}

DownloadManager::~DownloadManager() {
    Shutdown();
}

void DownloadManager::OnAttachments(std::unique_ptr<PacketRecord> packet) {
    if (!packet) {
        return;
    }
    const std::uint32_t source = packet->source_address;
    const bool listed = listed_ && listed_(source);
    std::lock_guard guard(worker_mutex_);
    if (shut_down_) {
        return;
    }
    const OfferQueue::Outcome outcome = queue_.Push(DownloadJob{std::move(packet), listed});
    if (outcome == OfferQueue::Outcome::kSourceFull || outcome == OfferQueue::Outcome::kQueueFull) {
        ReportDropped(outcome, source);
        return;
    }
    if (outcome == OfferQueue::Outcome::kQueuedInPlaceOfAnother) {
        ReportDropped(OfferQueue::Outcome::kQueueFull, source);
    }
    if (outcome != OfferQueue::Outcome::kClosed && !worker_.joinable()) {
        StartWorker();
    }
}

void DownloadManager::StartWorker() {
    try {
        worker_ = StartThread<std::jthread>("downloads",
                                            [this](std::stop_token stop) { RunWorker(stop); });
    } catch (...) {
        // Nothing would ever fetch the offer just queued, the only one: it is dropped. The next
        // offer tries again.
        queue_.Take();
        ++dropped_;
        notices_.Report(NoticeLog::Key(kWorkerNotStarted), [](std::uint64_t count) {
            return L"无法启动下载线程，传送请求已丢弃：" + CurrentExceptionText() +
                   RepeatSuffix(count);
        });
    }
}

void DownloadManager::ReportDropped(OfferQueue::Outcome outcome, std::uint32_t source) {
    ++dropped_;
    if (outcome == OfferQueue::Outcome::kSourceFull) {
        notices_.Report(NoticeLog::Key(kSourceFull, source), [source](std::uint64_t count) {
            return L"来自" + AnsiToWide(platform::InetNtoa(source)) + L"的传送请求过多，已丢弃" +
                   std::to_wstring(count) + L"个";
        });
    } else {
        // One line for all sources: the senders of a flood are many, or their addresses forged.
        notices_.Report(NoticeLog::Key(kQueueFull), [](std::uint64_t count) {
            return L"等待的传送请求过多，已丢弃" + std::to_wstring(count) + L"个";
        });
    }
}

void DownloadManager::Shutdown() {
    std::jthread worker;
    {
        std::lock_guard guard(worker_mutex_);
        shut_down_ = true;
        worker = std::move(worker_);
    }
    cancel_.Cancel();
    queue_.Close();
    if (worker.joinable()) {
        worker.request_stop();  // ends a wait for an offer or for the batch lock
        worker.join();
    }
}

bool DownloadManager::CancelBatch() {
    return cancel_.CancelBatch();
}

void DownloadManager::RunWorker(std::stop_token stop) {
    try {
        while (queue_.WaitForJob(stop)) {
            if (!batch_lock_.lock(stop)) {
                return;
            }
            std::lock_guard held(batch_lock_, std::adopt_lock);
            const std::optional<DownloadJob> job = queue_.Take();
            if (!job || cancel_.ShutDown()) {
                return;
            }
            try {
                DownloadBatch(*job->packet);
            } catch (...) {
                notices_.Report(NoticeLog::Key(kBatchFailed), [](std::uint64_t count) {
                    return L"接收文件出错：" + CurrentExceptionText() + RepeatSuffix(count);
                });
            }
        }
    } catch (...) {
        // Only a broken mutex makes a wait throw; even then the program must not end here.
        notices_.Report(NoticeLog::Key(kWorkerFailed), [](std::uint64_t count) {
            return L"下载线程出错：" + CurrentExceptionText() + RepeatSuffix(count);
        });
    }
}

void DownloadManager::DownloadBatch(const PacketRecord& packet) {
    const std::optional<AttachmentList> list = ParseAttachmentList(ExtensionOf(packet));
    if (!list) {
        return;
    }
    const RunningBatch running(cancel_);
    context_.StartBatch(BatchStarted{packet.user_name, packet.source_address});
    // Every entry goes to the same address: once it could not be reached, the entries after it
    // fail at once instead of each waiting out the connect limit, which would hold up every
    // later batch for as many limits as the offer lists entries. The same goes for the address's
    // other offers for a while; a batch that only failed at once does not lengthen that while.
    const bool known_unreachable = unreachable_.Recently(packet.source_address);
    bool reachable = !known_unreachable;
    for (const AttachmentInfo& info : list->entries) {
        if (cancel_.ShutDown()) {
            return;
        }
        context_.entries.push_back(EntryEnded{info.name, info.Kind() == ATTR_DIR,
                                              info.Kind() == ATTR_DIR ? 0 : info.size});
        if (cancel_.Cancelled()) {
            ReportCancelledEntry(context_, info);  // the user ended the batch: none is fetched
        } else if (reachable) {
            reachable = DownloadEntry(context_, packet, info);
        } else {
            ReportFailedEntry(context_, info, FileOutcome::kUnreachable);
        }
    }
    if (cancel_.ShutDown()) {
        return;
    }
    if (reachable) {
        unreachable_.Reached(packet.source_address);
    } else if (!known_unreachable) {
        unreachable_.Failed(packet.source_address);
    }
    context_.sink.Post(FilesReceived{
        static_cast<int>(context_.received_files), static_cast<int>(context_.failed_entries),
        packet.user_name, packet.host_name, packet.source_address, std::move(context_.entries)});
    context_.entries.clear();
}

}  // namespace veltra
