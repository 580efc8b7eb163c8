// One offer fetched from one instance by another, file to file, in two processes of one network
// namespace: the serving instance on 127.0.0.1, the receiving one on 127.0.0.2, each with its
// engine, and the receiving one handling its events on a thread of its own as a front
// end does (a log line per progress message). Prints one line of key=value figures; the
// plain-tool comparison and the ratio are made by bench/transfer_compare.sh.
//
//   transfer_bench make-file PATH MIB                    a file of pseudo-random bytes
//   transfer_bench make-tree DIR FOLDERS FILES BYTES     DIR/dNN/fNNNN, FILES per folder
//   transfer_bench fetch PATH HOME [inline] [history]    offer PATH, receive into HOME/Received
// With inline, the messages are handled on the posting thread: the transfer without the cost of
// waking a front end's thread for every message. With history, they pass through the history's
// feed on their way, as in the program, which keeps its rows in HOME's data folder.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_support.h"
#include "common/events.h"
#include "common/settings.h"
#include "engine/attachment_handler.h"
#include "engine/engine.h"
#include "engine/receive_listener.h"
#include "history/history_recorder.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "platform/utf8.h"
#include "receiving/download_manager.h"
#include "serving/attachment_offer.h"
#include "serving/transfer_server.h"
#include "ui/presentation/log_entries.h"

namespace veltra::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kServingAddress = "127.0.0.1";
constexpr const char* kReceivingAddress = "127.0.0.2";
// Whatever the size, a run that takes longer than this has hung.
constexpr auto kRunLimit = std::chrono::minutes(10);

// Bytes that do not compress and are cheap to make.
void FillPseudoRandom(std::vector<char>& buffer, std::uint64_t& state) {
    for (std::size_t i = 0; i + 8 <= buffer.size(); i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(buffer.data() + i, &state, 8);
    }
}

int MakeFile(const fs::path& path, std::uint64_t mib) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> buffer(1 << 20);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::uint64_t i = 0; i < mib && out; ++i) {
        FillPseudoRandom(buffer, state);
        out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    }
    return out ? 0 : 1;
}

int MakeTree(const fs::path& root, int folders, int files, std::size_t bytes) {
    std::vector<char> buffer((bytes + 7) / 8 * 8);
    std::uint64_t state = 0x2545F4914F6CDD1Dull;
    char name[32];
    for (int folder = 0; folder < folders; ++folder) {
        std::snprintf(name, sizeof name, "d%03d", folder);
        const fs::path directory = root / name;
        fs::create_directories(directory);
        for (int file = 0; file < files; ++file) {
            std::snprintf(name, sizeof name, "f%05d", file);
            FillPseudoRandom(buffer, state);
            std::ofstream out(directory / name, std::ios::binary | std::ios::trunc);
            out.write(buffer.data(), static_cast<std::streamsize>(bytes));
            if (!out) {
                return 1;
            }
        }
    }
    return 0;
}

bool WriteByte(int fd, char byte) {
    return write(fd, &byte, 1) == 1;
}

char ReadByte(int fd) {
    char byte = 0;
    return read(fd, &byte, 1) == 1 ? byte : '\0';
}

// The serving process: engine, transfer server, then one offer when the receiver is ready.
// Reports its peak memory through to_parent before it exits.
int Serve(const std::string& path, int from_parent, int to_parent) {
    Settings settings;
    int status = 0;
    try {
        CMessengerEngine engine(settings, platform::InetAddr(kServingAddress));
        TransferServer server(engine);
        WriteByte(to_parent, 'r');
        if (ReadByte(from_parent) == 'o') {
            SendWithAttachments(engine, server.Offers(), platform::InetAddr(kReceivingAddress),
                                {platform::Path::FromHost(path)});
        }
        ReadByte(from_parent);  // 'q', or the parent has gone
        // The connection threads read the server's table: they end before it goes.
        engine.Shutdown();
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "serving engine: error %d\n", error.code().value());
        status = 1;
    }
    char report[64];
    const int length =
        std::snprintf(report, sizeof report, "%ld %.3f\n", PeakResidentKb(), CpuSeconds());
    (void)!write(to_parent, report, static_cast<std::size_t>(length));
    return status;
}

// Notes when the offer arrived, then lets the download manager fetch it.
class TimedOffers : public AttachmentHandler {
  public:
    explicit TimedOffers(DownloadManager& manager) : manager_(manager) {}
    void OnAttachments(std::unique_ptr<PacketRecord> packet) override {
        arrived_.store(Clock::now().time_since_epoch().count());
        manager_.OnAttachments(std::move(packet));
    }
    Clock::time_point Arrived() const {
        return Clock::time_point(Clock::duration(arrived_.load()));
    }

  private:
    DownloadManager& manager_;
    std::atomic<Clock::rep> arrived_{0};
};

// What the receiving side's front end does with the transfer messages, minus the screen: every
// entry is formatted and then dropped, as the console writes it out and keeps nothing (the cost
// of a log that keeps everything is measured by log_bench).
struct ReceivingFrontEnd {
    TransferProgress progress;
    std::size_t log_chars = 0;
    std::uint64_t progress_messages = 0;
    std::uint64_t files_done = 0;
    std::uint64_t bytes_done = 0;
    std::int64_t batch_count = -1;
    Signal batch_done;

    void Handle(const Event& event) {
        std::visit([this](const auto& kind) { Show(kind); }, event);
    }

  private:
    void Show(const FileStarted& file) {
        progress.Start(file.size, platform::TickCountMs());
        log_chars += FileStartedEntry(file.name).size();
    }
    void Show(const FileProgress& file) {
        ++progress_messages;
        log_chars += progress.Progress(file.received, platform::TickCountMs()).entry.size();
    }
    void Show(const FileDone& file) {
        ++files_done;
        bytes_done += file.received;
        log_chars += FileDoneEntry(file.outcome).size();
    }
    void Show(const FilesReceived& files) {
        log_chars += FilesReceivedEntry(files.count).size();
        batch_count = files.count;
        batch_done.Raise();
    }
    template <typename Other>
    void Show(const Other& /*event*/) {}
};

int Fetch(const std::string& path, const std::string& home, bool inline_handling,
          bool with_history) {
    int to_child[2];
    int from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0) {
        return 1;
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        return 1;
    }
    if (child == 0) {
        close(to_child[1]);
        close(from_child[0]);
        _exit(Serve(path, to_child[0], from_child[1]));
    }
    close(to_child[0]);
    close(from_child[1]);

    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME");  // the history, too, in HOME's data folder
    Settings settings;
    ReceivingFrontEnd front_end;
    const auto handle = [&front_end](const Event& event) { front_end.Handle(event); };
    LoopSink loop_sink(handle);
    InlineSink inline_sink(handle);
    EventSink& front_end_sink = inline_handling ? static_cast<EventSink&>(inline_sink) : loop_sink;
    HistoryOptions history_options;
    history_options.enabled = with_history;
    HistoryRecorder history(front_end_sink, history_options);
    EventSink& sink = with_history ? static_cast<EventSink&>(history) : front_end_sink;
    bool finished = false;
    double seconds = 0;
    {
        CMessengerEngine engine(settings, platform::InetAddr(kReceivingAddress));
        DownloadManager manager(sink, engine, settings);
        TimedOffers offers(manager);
        CReceiveListener listener(sink, engine, &offers);
        engine.SetListener(&listener);
        if (ReadByte(from_child[0]) == 'r') {
            WriteByte(to_child[1], 'o');
            finished = front_end.batch_done.WaitFor(
                std::chrono::duration_cast<std::chrono::milliseconds>(kRunLimit));
            seconds = SecondsSince(offers.Arrived());
        }
        engine.SetListener(nullptr);
        manager.Shutdown();
        engine.Shutdown();
    }
    history.Shutdown();  // its rows written, so that their cost is in the CPU time
    loop_sink.Stop();
    WriteByte(to_child[1], 'q');
    char text[64] = {};
    const long got = read(from_child[0], text, sizeof text - 1);
    char* rest = text;
    const long serving_peak = got > 0 ? std::strtol(text, &rest, 10) : -1;
    const double serving_cpu = got > 0 ? std::strtod(rest, nullptr) : -1;
    int child_status = 0;
    waitpid(child, &child_status, 0);

    const double megabytes = static_cast<double>(front_end.bytes_done) / 1e6;
    std::printf("finished=%d seconds=%.3f bytes=%" PRIu64 " mb_per_s=%.1f files=%" PRIu64
                " batch_count=%" PRId64 " progress_messages=%" PRIu64
                " log_chars=%zu serving_peak_kb=%ld receiving_peak_kb=%ld serving_cpu_s=%.3f"
                " receiving_cpu_s=%.3f\n",
                finished ? 1 : 0, seconds, front_end.bytes_done,
                seconds > 0 ? megabytes / seconds : 0.0, front_end.files_done,
                front_end.batch_count, front_end.progress_messages, front_end.log_chars,
                serving_peak, PeakResidentKb(), serving_cpu, CpuSeconds());
    const bool child_ok = WIFEXITED(child_status) && WEXITSTATUS(child_status) == 0;
    return finished && child_ok ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: transfer_bench make-file PATH MIB\n"
                 "       transfer_bench make-tree DIR FOLDERS FILES BYTES\n"
                 "       transfer_bench fetch PATH HOME [inline] [history]\n");
    return 2;
}

}  // namespace
}  // namespace veltra::bench

int main(int argc, char** argv) {
    using namespace veltra::bench;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "make-file") {
        return MakeFile(args[1], std::strtoull(args[2].c_str(), nullptr, 10));
    }
    if (args.size() == 5 && args[0] == "make-tree") {
        return MakeTree(args[1], std::atoi(args[2].c_str()), std::atoi(args[3].c_str()),
                        std::strtoull(args[4].c_str(), nullptr, 10));
    }
    if (args.size() >= 3 && args[0] == "fetch") {
        bool inline_handling = false;
        bool with_history = false;
        for (std::size_t i = 3; i < args.size(); ++i) {
            if (args[i] == "inline") {
                inline_handling = true;
            } else if (args[i] == "history") {
                with_history = true;
            } else {
                return Usage();
            }
        }
        return Fetch(args[1], args[2], inline_handling, with_history);
    }
    return Usage();
}
