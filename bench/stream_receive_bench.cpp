// The receiving side alone: a folder's stream, made in memory as a sender would send it, written
// into a local socket by a thread that does nothing else, and read into HOME/Received as a
// download does, so the receiver has the machine's cores to itself (through the real consoles,
// the sending instance shares them). Prints one line of key=value figures.
//
//   stream_receive_bench FOLDERS FILES BYTES HOME    FOLDERS folders of FILES files of BYTES
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bench/bench_support.h"
#include "common/settings.h"
#include "engine/engine.h"
#include "platform/socket.h"
#include "receiving/content_reader.h"
#include "receiving/directory_download.h"
#include "serving/directory_stream.h"

namespace veltra::bench {
namespace {

std::string MakeStream(int folders, int files, std::size_t bytes) {
    std::string stream = DirectoryHeader("tree");
    std::string content(bytes, '\0');
    unsigned seed = 1;
    for (int folder = 0; folder < folders; ++folder) {
        std::string folder_name = "d";  // appended, not added: GCC 12 warns falsely at -O3
        folder_name += std::to_string(folder);
        stream += DirectoryHeader(folder_name);
        for (int file = 0; file < files; ++file) {
            for (char& byte : content) {
                seed = seed * 1103515245u + 12345u;
                byte = static_cast<char>(seed >> 24);
            }
            std::string file_name = "f";
            file_name += std::to_string(file);
            stream += FileHeader(file_name, bytes);
            stream += content;
        }
        stream += kEndMark;
    }
    stream += kEndMark;
    return stream;
}

// Counts what a front end would be told, and nothing more.
class CountingSink : public EventSink {
  public:
    void Post(Event event) override {
        if (const auto* done = std::get_if<FileDone>(&event)) {
            stored += done->outcome == FileOutcome::kStored ? 1 : 0;
        }
    }
    std::uint64_t stored = 0;  // posted by one thread at a time: the storing one, or the reader
};

int Run(int folders, int files, std::size_t bytes, const std::string& home) {
    const std::string stream = MakeStream(folders, files, bytes);
    setenv("HOME", home.c_str(), 1);
    Settings settings;
    CMessengerEngine engine(settings, platform::InetAddr("127.0.0.2"));
    CountingSink sink;
    TransferCancel cancel;
    DownloadContext context(sink, engine, settings, cancel);
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
        return 1;
    }
    platform::Socket reading(ends[0]);
    const double cpu_before = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::thread writer([&stream, writing = platform::Socket(ends[1])] {
        writing.SendAll(stream.data(), stream.size());
    });
    ContentReader reader(reading);
    const FileOutcome outcome = ReceiveDirectory(context, reader);
    const double seconds = SecondsSince(start);
    writer.join();
    std::printf("outcome=%d seconds=%.3f cpu_s=%.3f files=%llu stored=%llu peak_kb=%ld\n",
                static_cast<int>(outcome), seconds, CpuSeconds() - cpu_before,
                static_cast<unsigned long long>(context.received_files),
                static_cast<unsigned long long>(sink.stored), PeakResidentKb());
    return outcome == FileOutcome::kStored ? 0 : 1;
}

}  // namespace
}  // namespace veltra::bench

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: stream_receive_bench FOLDERS FILES BYTES HOME\n");
        return 2;
    }
    return veltra::bench::Run(std::atoi(argv[1]), std::atoi(argv[2]),
                              std::strtoull(argv[3], nullptr, 10), argv[4]);
}
