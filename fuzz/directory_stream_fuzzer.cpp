// Any bytes as the answer to a directory request, received for real into a folder of its own:
// whatever the stream says, everything created lies inside the received folder, and no symbolic
// link appears, and the program's own data folder (where it lists the temporaries of a replacement
// until they are renamed into place) holds nothing else. The stream buffer's size varies with the
// input's length, down to the smallest, so that headers and contents straddle its refills. Needs
// the network namespace of fuzz/run.sh (the receiving side's engine binds port 2425 on 127.0.0.1)
// and a scratch root, VELTRA_FUZZ_ROOT (default /tmp/veltra-fuzz-root), whose whole content it
// owns: fuzz/run.sh mounts a tmpfs there and makes the rest of the file system read-only, so a
// stream that escaped could not harm anything.
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "common/event_sink.h"
#include "common/settings.h"
#include "engine/engine.h"
#include "platform/socket.h"
#include "receiving/directory_download.h"
#include "receiving/download_context.h"

namespace {

namespace fs = std::filesystem;

class DroppingSink : public veltra::EventSink {
  public:
    void Post(veltra::Event) override {}
};

struct Receiver {
    fs::path root;
    fs::path home;
    fs::path received;
    fs::path data;
    std::unique_ptr<veltra::Settings> settings;
    DroppingSink sink;
    std::unique_ptr<veltra::CMessengerEngine> engine;
    veltra::TransferCancel cancel;
    std::unique_ptr<veltra::DownloadContext> context;

    Receiver() {
        const char* chosen = std::getenv("VELTRA_FUZZ_ROOT");
        root = chosen != nullptr ? chosen : "/tmp/veltra-fuzz-root";
        home = root / "home";
        received = home / "Received";
        data = root / "data";
        fs::create_directories(home);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", data.c_str(), 1);
        settings = std::make_unique<veltra::Settings>();
        try {
            engine = std::make_unique<veltra::CMessengerEngine>(
                *settings, veltra::platform::InetAddr("127.0.0.1"));
        } catch (const std::system_error&) {
            std::abort();  // run it in a network namespace of its own (fuzz/run.sh)
        }
        context = std::make_unique<veltra::DownloadContext>(
            veltra::DownloadContext{sink, *engine, *settings, cancel, {}});
    }

    // Everything below root is home, the received folder or inside it, or the program's own
    // record of temporaries; nothing is a link.
    void CheckConfined() const {
        const fs::path own_folder = data / "veltra";
        for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
            const fs::path& path = it->path();
            if (it->is_symlink()) {
                __builtin_trap();
            }
            if (path == home || path == received || path == data || path == own_folder) {
                continue;
            }
            if (path.parent_path() == own_folder && it->is_regular_file() &&
                path.filename().string().starts_with("temporaries")) {
                continue;
            }
            const auto relative = path.lexically_relative(received);
            if (relative.empty() || *relative.begin() == "..") {
                __builtin_trap();
            }
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    static Receiver receiver;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
        return 0;
    }
    platform::Socket socket(ends[0]);
    ContentReader reader(socket, kHeaderBuffer + size % 3001);
    {
        platform::Socket writer(ends[1]);
        if (!writer.SendAll(data, size)) {
            return 0;
        }
    }
    receiver.context->StartBatch({});  // every input is a batch of its own
    ReceiveDirectory(*receiver.context, reader);
    receiver.CheckConfined();
    std::error_code ignored;
    fs::remove_all(receiver.received, ignored);
    return 0;
}
