#pragma once
// Fetches the attachments of every offer that arrives: the offers wait in one queue, and one
// download worker runs their batches one after the other, those of the users in the list first,
// each group in the order its offers arrived.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "common/event_sink.h"
#include "common/settings.h"
#include "engine/attachment_handler.h"
#include "engine/notice_log.h"
#include "engine/packet.h"
#include "platform/named_mutex.h"
#include "receiving/download_context.h"
#include "receiving/offer_queue.h"
#include "receiving/unreachable_sources.h"

namespace veltra {

class CMessengerEngine;

class DownloadManager : public AttachmentHandler {
  public:
    // Name of the lock that lets one batch run at a time, also across managers in one process.
    static constexpr const char* kBatchLockName = "progressDialog";

    // Whether a user at the address (network order) is in the user list; called on the thread
    // that hands in the offers.
    using SourceListed = std::function<bool(std::uint32_t address)>;

    // clock times the notices about dropped offers and the memory of unreachable addresses
    // (tests put a clock of their own). listed, when given, tells the offers of users in the
    // list from the others.
    DownloadManager(EventSink& sink, CMessengerEngine& engine, const Settings& settings,
                    DownloadLimits limits = {}, OfferQueueLimits queue_limits = {},
                    NoticeLog::Clock clock = {}, SourceListed listed = {});
    // Shuts down first, so no batch outlives the manager and its lock.
    ~DownloadManager() override;
    DownloadManager(const DownloadManager&) = delete;
    DownloadManager& operator=(const DownloadManager&) = delete;

    // Queues the offer for the worker (started with the first offer) and returns at once; called
    // on the receive thread. An offer beyond the queue's bounds is dropped and counted (in a full
    // queue, an offer of a listed user takes the place of the newest offer of an unlisted
    // source), and the log says so once per source (once in all for a full queue) and minute.
    // After Shutdown offers are dropped without a word. The offers of an address that could not
    // be reached fail at once for kUnreachableMemory after.
    void OnAttachments(std::unique_ptr<PacketRecord> packet) override;

    // Cancels the running batch (its connection is woken and closed), drops the waiting offers
    // and joins the worker. Safe to call twice.
    void Shutdown();

    // Ends the batch that runs, if any, as the user asks: the entry being received fails as
    // cancelled and leaves nothing, the batch's other entries are not fetched (each reported
    // cancelled), and the next waiting batch starts. False when no batch runs; a batch that
    // starts after the call is never touched.
    bool CancelBatch();

    // Offers waiting for their batch, and offers dropped so far (diagnostics and tests).
    std::size_t PendingOffers() { return queue_.Size(); }
    std::uint64_t DroppedOffers() const { return dropped_.load(); }

  private:
    void StartWorker();
    void RunWorker(std::stop_token stop);
    void DownloadBatch(const PacketRecord& packet);
    void ReportDropped(OfferQueue::Outcome outcome, std::uint32_t source);

    platform::NamedMutex batch_lock_{kBatchLockName};
    TransferCancel cancel_;
    // Holds the received-file counter; touched only while batch_lock_ is held.
    DownloadContext context_;
    OfferQueue queue_;
    NoticeLog notices_;
    const SourceListed listed_;
    // Touched only while batch_lock_ is held.
    UnreachableSources unreachable_;
    std::atomic<std::uint64_t> dropped_{0};

    std::mutex worker_mutex_;  // guards worker_ and shut_down_
    std::jthread worker_;
    bool shut_down_ = false;
};

}  // namespace veltra
