#pragma once
// Fetches the attachments of every offer that arrives, one offer's batch after the other.

#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "common/settings.h"
#include "engine/attachment_handler.h"
#include "engine/packet.h"
#include "platform/named_mutex.h"
#include "platform/window.h"
#include "receiving/download_context.h"

namespace veltra {

class CMessengerEngine;
class CDownloadManager;

// Handed to a batch thread, which owns it (and the packet) until the batch has ended.
struct DownloadJob {
    CDownloadManager* manager = nullptr;
    std::unique_ptr<PacketRecord> packet;
};

class CDownloadManager : public CAttachmentHandler {
  public:
    // Name of the lock that lets one batch run at a time.
    static constexpr const char* kBatchLockName = "progressDialog";

    CDownloadManager(platform::MessageWindow& window, CMessengerEngine& engine,
                     const Settings& settings, DownloadLimits limits = {});
    // Shuts down first, so no batch outlives the manager and its lock.
    ~CDownloadManager() override;
    CDownloadManager(const CDownloadManager&) = delete;
    CDownloadManager& operator=(const CDownloadManager&) = delete;

    // Starts a batch thread for the offer and returns at once (called on the receive thread).
    // After Shutdown the offer is dropped.
    void OnAttachments(std::unique_ptr<PacketRecord> packet) override;

    // Cancels the running batch (its connection is woken and closed), makes waiting batches give
    // up, and joins every batch thread. Safe to call twice.
    void Shutdown();

  private:
    struct Batch {
        std::thread thread;
        bool finished = false;
    };

    static void RunBatch(std::unique_ptr<DownloadJob> job, Batch* batch);
    void DownloadBatch(const PacketRecord& packet);
    // Joins the threads of batches that have ended; threads_mutex_ held.
    void ReapFinished();

    platform::NamedMutex batch_lock_{kBatchLockName};
    TransferCancel cancel_;
    // Holds the received-file counter; touched only while batch_lock_ is held.
    DownloadContext context_;

    std::mutex threads_mutex_;
    std::list<Batch> batches_;
};

}  // namespace veltra
