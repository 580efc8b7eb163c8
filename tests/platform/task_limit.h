#pragma once
// Puts the whole test process under a task limit that leaves room for only `allowed` more
// threads (none by default), as a system out of tasks would: a pids cgroup of its own. Starting a
// thread beyond them fails with EAGAIN (std::system_error) until the object goes and the process
// is back in its old cgroup. Needs a writable cgroup v1 pids hierarchy (root); Active() says
// whether the limit holds, so that a test can skip where it cannot.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace veltra::testing {

class NoNewThreads {
  public:
    explicit NoNewThreads(int allowed = 0) {
        const std::string home = PidsCgroup();
        if (home.empty()) {
            return;
        }
        home_ = "/sys/fs/cgroup/pids" + (home == "/" ? std::string() : home);
        own_ = home_ + "/veltra-no-threads-" + std::to_string(getpid());
        if (mkdir(own_.c_str(), 0755) != 0) {
            own_.clear();
            return;
        }
        const int limit = Threads() + allowed;
        active_ = Write(own_ + "/pids.max", std::to_string(limit)) &&
                  Write(own_ + "/cgroup.procs", Pid());
    }
    NoNewThreads(const NoNewThreads&) = delete;
    NoNewThreads& operator=(const NoNewThreads&) = delete;
    ~NoNewThreads() { Lift(); }

    bool Active() const { return active_; }

    // Back to the old cgroup, where threads start again.
    void Lift() {
        if (!own_.empty()) {
            Write(home_ + "/cgroup.procs", Pid());
            rmdir(own_.c_str());
            own_.clear();
        }
        active_ = false;
    }

  private:
    static std::string Pid() { return std::to_string(getpid()); }
    static int Threads() {
        int count = 0;
        for ([[maybe_unused]] const auto& task :
             std::filesystem::directory_iterator("/proc/self/task")) {
            ++count;
        }
        return count;
    }
    static bool Write(const std::string& path, const std::string& value) {
        std::ofstream out(path);
        out << value;
        out.flush();
        return static_cast<bool>(out);
    }
    // This process's cgroup in the pids hierarchy ("/" for the root), or empty text.
    static std::string PidsCgroup() {
        std::ifstream in("/proc/self/cgroup");
        for (std::string line; std::getline(in, line);) {
            const std::string::size_type tag = line.find(":pids:");
            if (tag != std::string::npos) {
                return line.substr(tag + 6);
            }
        }
        return {};
    }

    std::string home_;
    std::string own_;
    bool active_ = false;
};

}  // namespace veltra::testing
