#include "platform/data_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace veltra::platform {

namespace {

// Makes every missing folder of host_path, which is absolute; true when it is a folder at the end.
bool MakeFolders(const std::string& host_path) {
    struct stat st {};
    if (stat(host_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return true;  // the common case, in one call
    }
    for (std::size_t slash = host_path.find('/', 1);; slash = host_path.find('/', slash + 1)) {
        const std::string prefix = host_path.substr(0, slash);
        if (!prefix.empty() && prefix.back() != '/' && mkdir(prefix.c_str(), 0700) != 0 &&
            errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return stat(host_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// $VARIABLE/veltra when the variable holds an absolute path, else $HOME/home_relative/veltra.
std::optional<Path> ProgramFolder(const char* variable, const char* home_relative,
                                  MissingFolder missing) {
    std::string base;
    // A relative value is to be ignored: it would name a different folder from every working
    // directory.
    if (const char* value = std::getenv(variable); value && value[0] == '/') {
        base = value;
    } else {
        base = HomeFolder();
        if (base.empty() || base.front() != '/') {
            return std::nullopt;
        }
        base += home_relative;
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    std::string folder = (base == "/" ? "" : base) + "/veltra";
    if (missing == MissingFolder::kMake && !MakeFolders(folder)) {
        return std::nullopt;
    }
    return Path::FromHost(std::move(folder));
}

}  // namespace

std::optional<Path> UserDataFolder(MissingFolder missing) {
    return ProgramFolder("XDG_DATA_HOME", "/.local/share", missing);
}

std::optional<Path> UserConfigFolder(MissingFolder missing) {
    return ProgramFolder("XDG_CONFIG_HOME", "/.config", missing);
}

}  // namespace veltra::platform
