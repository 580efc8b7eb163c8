#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/path.h"

namespace veltra::testing {

// A fresh folder under /tmp, removed with everything in it at the end of the test.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltra-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::wstring wide() const { return path_.wstring(); }

  private:
    std::filesystem::path path_;
};

// A path as the program takes it, from a test's own.
inline platform::Path PathOf(const std::filesystem::path& path) {
    return platform::Path(path.wstring());
}

// Sets an environment variable (or unsets it, for nothing) for the life of the object.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable() { Set(old_); }

  private:
    void Set(const std::optional<std::string>& value) {
        if (value) {
            setenv(name_, value->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

    const char* name_;
    std::optional<std::string> old_;
};

// Points $HOME (and so "\Storage Card") somewhere else for the life of the object, and with it
// the user's data folder: $XDG_DATA_HOME is unset, so nothing a test writes for the program
// lands in the real one.
class ScopedHome {
  public:
    explicit ScopedHome(const std::string& home)
        : home_("HOME", home), data_home_("XDG_DATA_HOME", std::nullopt) {}

  private:
    ScopedVariable home_;
    ScopedVariable data_home_;
};

}  // namespace veltra::testing
