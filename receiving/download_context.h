#pragma once
// What a download batch works with: where it reports, whom it asks for packets, where files go,
// how long it waits, and how a shutdown reaches it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/event_sink.h"
#include "common/settings.h"
#include "platform/socket.h"
#include "receiving/stored_paths.h"

namespace veltra {

class CMessengerEngine;

// Time limits of a download; tests shorten them.
struct DownloadLimits {
    int connect_ms = 10000;  // a peer that does not accept within this is skipped
    int idle_ms = 60000;     // a peer that sends nothing for this long ends its entry
    int max_depth = 64;      // directory levels rebuilt; deeper ones are read and dropped
};

// Lets a shutdown stop the batch that runs (by aborting its connection, which the peer hears of at
// once) and the ones that wait, and the user stop only the batch that runs.
class TransferCancel {
  public:
    // The running batch is to end, by a shutdown or by the user.
    bool Cancelled() const { return shut_down_.load() || batch_cancelled_.load(); }
    // Cancelled for good: nothing more is fetched or reported.
    bool ShutDown() const { return shut_down_.load(); }
    // Cancels for good and aborts the connection in use, if any.
    void Cancel();
    // Ends the batch that runs, aborting the connection in use; false, doing nothing, when no batch
    // runs. A batch that starts after it is not touched, however close behind.
    bool CancelBatch();
    // Bracket the run of one batch (see RunningBatch); only between them does CancelBatch act.
    void BeginBatch();
    void EndBatch();
    // Registers the socket a download blocks on; false (nothing registered) once cancelled.
    bool Attach(const platform::Socket& socket);
    void Detach();

  private:
    std::atomic<bool> shut_down_{false};
    std::atomic<bool> batch_cancelled_{false};
    std::mutex mutex_;  // guards running_ and socket_, and orders the cancels against them
    bool running_ = false;
    const platform::Socket* socket_ = nullptr;
};

// Marks a batch as running for as long as it lives.
class RunningBatch {
  public:
    explicit RunningBatch(TransferCancel& cancel) : cancel_(cancel) { cancel_.BeginBatch(); }
    ~RunningBatch() { cancel_.EndBatch(); }
    RunningBatch(const RunningBatch&) = delete;
    RunningBatch& operator=(const RunningBatch&) = delete;

  private:
    TransferCancel& cancel_;
};

// Keeps a socket registered with a TransferCancel for as long as it lives.
class AttachedSocket {
  public:
    AttachedSocket(TransferCancel& cancel, const platform::Socket& socket)
        : cancel_(cancel), attached_(cancel.Attach(socket)) {}
    ~AttachedSocket() {
        if (attached_) {
            cancel_.Detach();
        }
    }
    AttachedSocket(const AttachedSocket&) = delete;
    AttachedSocket& operator=(const AttachedSocket&) = delete;
    bool Attached() const { return attached_; }

  private:
    TransferCancel& cancel_;
    bool attached_;
};

struct DownloadContext {
    DownloadContext(EventSink& sink_in, CMessengerEngine& engine_in, const Settings& settings_in,
                    TransferCancel& cancel_in, DownloadLimits limits_in = {})
        : sink(sink_in),
          engine(engine_in),
          settings(settings_in),
          cancel(cancel_in),
          limits(limits_in) {}

    EventSink& sink;
    CMessengerEngine& engine;
    const Settings& settings;
    TransferCancel& cancel;
    DownloadLimits limits;
    // Files of the running batch stored whole, those inside received directories included.
    std::uint64_t received_files = 0;
    // Entries of the running batch whose FileDone told a failure.
    std::uint64_t failed_entries = 0;
    // The paths of those files: a later file of the same batch gets a name of its own rather
    // than replacing one of them.
    StoredPaths stored_paths;
    // For an offered name that had to be numbered (by its path's hash): the number to try first
    // next time, so that many files of one name cost no more than files of different names.
    std::unordered_map<std::size_t, unsigned> next_numbers;

    // Who sends the running batch, until the line of its first file has named them.
    std::optional<BatchStarted> unnamed_sender;

    // How each offered entry of the running batch ended, the one being received last.
    std::vector<EntryEnded> entries;
    // True while the entries of a folder's stream are read: their FileDone ends no offered entry.
    bool inside_folder = false;

    void StartBatch(BatchStarted sender) {
        unnamed_sender = std::move(sender);
        received_files = 0;
        failed_entries = 0;
        stored_paths.Clear();
        next_numbers.clear();
        entries.clear();
        inside_folder = false;
    }
    // The offered entry being received, if a batch runs.
    EntryEnded* Entry() { return entries.empty() ? nullptr : &entries.back(); }
};

}  // namespace veltra
