#include "platform/autostart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/owned_descriptor.h"

namespace veltra::platform {

const char kAutostartEntryText[] =
    "[Desktop Entry]\n"
    "Type=Application\n"
    "Name=Veltra\n"
    "Comment=Start Veltra in the tray when you log in\n"
    "Exec=veltra --hidden\n"
    "Icon=veltra\n"
    "Terminal=false\n"
    "X-GNOME-Autostart-enabled=true\n";

namespace {

[[noreturn]] void Fail(int error, const std::string& step, const std::string& object) {
    throw std::system_error(error, std::generic_category(), step + " " + object);
}

void WriteWhole(int fd, std::string_view text, const std::string& path) {
    while (!text.empty()) {
        const ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            Fail(written < 0 ? errno : EIO, "cannot write", path);
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

std::optional<Path> AutostartEntryPath() {
    std::string base;
    // A relative value is to be ignored, as for the data folder.
    if (const char* config_home = std::getenv("XDG_CONFIG_HOME");
        config_home && config_home[0] == '/') {
        base = config_home;
    } else {
        base = HomeFolder();
        if (base.empty() || base.front() != '/') {
            return std::nullopt;
        }
        base += "/.config";
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return Path::FromHost((base == "/" ? "" : base) + "/autostart/veltra.desktop");
}

bool AutostartEnabled() {
    const std::optional<Path> path = AutostartEntryPath();
    struct stat st {};
    return path && stat(path->Host().c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void EnableAutostart() {
    const std::optional<Path> entry = AutostartEntryPath();
    if (!entry) {
        Fail(ENOENT, "cannot find the home folder for", "the autostart entry");
    }
    const std::string& path = entry->Host();
    const std::string folder = entry->Parent().Host();
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    if (made) {
        Fail(made.value(), "cannot create", folder);
    }
    std::string temporary = path + ".XXXXXX";
    OwnedDescriptor fd(mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.Valid()) {
        Fail(errno, "cannot create", temporary);
    }
    try {
        // Desktop files are read by the session, not kept secret: the usual mode, not mkstemp's.
        if (fchmod(fd.Get(), 0644) != 0) {
            Fail(errno, "cannot set the mode of", temporary);
        }
        WriteWhole(fd.Get(), kAutostartEntryText, temporary);
        if (fsync(fd.Get()) != 0) {
            Fail(errno, "cannot write", temporary);
        }
        if (rename(temporary.c_str(), path.c_str()) != 0) {
            Fail(errno, "cannot rename " + temporary + " to", path);
        }
    } catch (const std::system_error&) {
        unlink(temporary.c_str());
        throw;
    }
}

void DisableAutostart() {
    const std::optional<Path> entry = AutostartEntryPath();
    if (entry && unlink(entry->Host().c_str()) != 0 && errno != ENOENT) {
        Fail(errno, "cannot remove", entry->Host());
    }
}

}  // namespace veltra::platform
