#include "receiving/download_manager.h"

#include <chrono>
#include <cstring>
#include <string_view>

#include "engine/engine.h"
#include "engine/window_messages.h"
#include "receiving/attachment_list.h"
#include "receiving/download_client.h"

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

}  // namespace

CDownloadManager::CDownloadManager(platform::MessageWindow& window, CMessengerEngine& engine,
                                   const Settings& settings, DownloadLimits limits)
    : context_{window, engine, settings, cancel_, limits} {}

CDownloadManager::~CDownloadManager() {
    Shutdown();
}

void CDownloadManager::OnAttachments(std::unique_ptr<PacketRecord> packet) {
    std::lock_guard guard(threads_mutex_);
    ReapFinished();
    if (cancel_.Cancelled() || !packet) {
        return;
    }
    auto job = std::make_unique<DownloadJob>();
    job->manager = this;
    job->packet = std::move(packet);
    Batch& batch = batches_.emplace_back();
    batch.thread = std::thread(&CDownloadManager::RunBatch, std::move(job), &batch);
}

void CDownloadManager::Shutdown() {
    cancel_.Cancel();
    std::list<Batch> batches;
    {
        std::lock_guard guard(threads_mutex_);
        batches.splice(batches.end(), batches_);
    }
    for (Batch& batch : batches) {
        if (batch.thread.joinable()) {
            batch.thread.join();
        }
    }
}

void CDownloadManager::ReapFinished() {
    for (auto it = batches_.begin(); it != batches_.end();) {
        if (it->finished) {
            it->thread.join();
            it = batches_.erase(it);
        } else {
            ++it;
        }
    }
}

void CDownloadManager::RunBatch(std::unique_ptr<DownloadJob> job, Batch* batch) {
    CDownloadManager& manager = *job->manager;
    {
        // Waiting batches look now and then whether a shutdown wants them to give up. A plain
        // try_lock between pauses rather than a timed wait: ThreadSanitizer cannot see a lock
        // taken by a timed wait and would report every unlock as wrong.
        std::unique_lock lock(manager.batch_lock_, std::defer_lock);
        const std::chrono::milliseconds pause(manager.context_.limits.lock_poll_ms);
        while (!manager.cancel_.Cancelled() && !lock.try_lock()) {
            std::this_thread::sleep_for(pause);
        }
        if (lock.owns_lock() && !manager.cancel_.Cancelled()) {
            manager.DownloadBatch(*job->packet);
        }
    }
    job.reset();
    std::lock_guard guard(manager.threads_mutex_);
    batch->finished = true;
}

void CDownloadManager::DownloadBatch(const PacketRecord& packet) {
    const std::optional<AttachmentList> list = ParseAttachmentList(ExtensionOf(packet));
    if (!list) {
        return;
    }
    context_.StartBatch();
    for (const AttachmentInfo& info : list->entries) {
        if (cancel_.Cancelled()) {
            return;
        }
        DownloadEntry(context_, packet, info);
    }
    if (cancel_.Cancelled()) {
        return;
    }
    platform::WindowMessage message;
    message.id = WM_FILES_RECEIVED;
    message.wparam = static_cast<std::int64_t>(context_.received_files);
    context_.window.PostMessage(std::move(message));
}

}  // namespace veltra
