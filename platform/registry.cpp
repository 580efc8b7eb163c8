#include "platform/registry.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "platform/utf8.h"

namespace veltra::platform {

namespace {

std::wstring Folded(std::wstring_view name) {
    std::wstring folded(name);
    for (wchar_t& c : folded) {
        if (c >= L'A' && c <= L'Z') {
            c += L'a' - L'A';
        }
    }
    return folded;
}

std::string AccountOwnerName() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result) {
        if (result->pw_gecos) {
            std::string full_name = result->pw_gecos;
            full_name = full_name.substr(0, full_name.find(','));
            if (!full_name.empty()) {
                return full_name;
            }
        }
        if (result->pw_name && *result->pw_name) {
            return result->pw_name;
        }
    }
    for (const char* variable : {"USER", "LOGNAME"}) {
        if (const char* value = std::getenv(variable); value && *value) {
            return value;
        }
    }
    return {};
}

using Values = std::map<std::wstring, std::wstring>;  // folded value name -> value

class Registry {
  public:
    static Registry& Instance() {
        static Registry registry;  // built on first use, whatever the order of static init
        return registry;
    }

    void CreateKey(std::wstring_view key) {
        std::lock_guard lock(mutex_);
        Keys()[Folded(key)];
    }

    bool HasKey(std::wstring_view key) {
        std::lock_guard lock(mutex_);
        return Keys().count(Folded(key)) != 0;
    }

    std::optional<std::wstring> Read(std::wstring_view key, std::wstring_view value_name) {
        std::lock_guard lock(mutex_);
        const auto found_key = Keys().find(Folded(key));
        if (found_key == Keys().end()) {
            return std::nullopt;
        }
        const auto found_value = found_key->second.find(Folded(value_name));
        if (found_value == found_key->second.end()) {
            return std::nullopt;
        }
        return found_value->second;
    }

    void Write(std::wstring_view key, std::wstring_view value_name, std::wstring_view value) {
        std::lock_guard lock(mutex_);
        Keys()[Folded(key)][Folded(value_name)] = value;
    }

    void Clear(bool with_defaults) {
        std::lock_guard lock(mutex_);
        keys_.clear();
        seeded_ = !with_defaults;
    }

  private:
    // The defaults are filled in lazily, under the lock, so that a test can clear them before the
    // account database is ever read.
    std::map<std::wstring, Values>& Keys() {
        if (!seeded_) {
            seeded_ = true;
            const std::string owner = AccountOwnerName();
            if (!owner.empty()) {
                keys_[Folded(kOwnerKey)][Folded(kOwnerValue)] = Utf8ToWide(owner);
            }
        }
        return keys_;
    }

    std::mutex mutex_;
    std::map<std::wstring, Values> keys_;
    bool seeded_ = false;
};

}  // namespace

std::optional<RegistryKey> RegistryKey::OpenOrCreate(std::wstring_view key) {
    Registry::Instance().CreateKey(key);
    return RegistryKey(std::wstring(key));
}

std::optional<std::wstring> RegistryKey::ReadValue(std::wstring_view value_name) const {
    return Registry::Instance().Read(key_, value_name);
}

std::optional<std::wstring> ReadRegistryValue(std::wstring_view key, std::wstring_view value_name) {
    return Registry::Instance().Read(key, value_name);
}

bool RegistryKeyExists(std::wstring_view key) {
    return Registry::Instance().HasKey(key);
}

void SeedRegistryValue(std::wstring_view key, std::wstring_view value_name,
                       std::wstring_view value) {
    Registry::Instance().Write(key, value_name, value);
}

void ClearRegistry() {
    Registry::Instance().Clear(false);
}

void ResetRegistryToDefaults() {
    Registry::Instance().Clear(true);
}

}  // namespace veltra::platform
