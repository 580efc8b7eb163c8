#include "platform/registry.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/utf8.h"

namespace veltra::platform {

namespace {

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

class OwnerValue {
  public:
    static OwnerValue& Instance() {
        static OwnerValue owner;  // built on first use, whatever the order of static init
        return owner;
    }

    std::optional<std::wstring> Read() {
        std::lock_guard lock(mutex_);
        // Read lazily, under the lock, so that a test can set the value before the account
        // database is ever read.
        if (!known_) {
            known_ = true;
            const std::string owner = AccountOwnerName();
            if (!owner.empty()) {
                value_ = Utf8ToWide(owner);
            }
        }
        return value_;
    }

    void Set(std::optional<std::wstring> value, bool known) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
        known_ = known;
    }

  private:
    std::mutex mutex_;
    std::optional<std::wstring> value_;
    bool known_ = false;
};

}  // namespace

std::optional<std::wstring> ReadOwnerValue() {
    return OwnerValue::Instance().Read();
}

void SetOwnerValue(std::optional<std::wstring> value) {
    OwnerValue::Instance().Set(std::move(value), true);
}

void ResetOwnerValue() {
    OwnerValue::Instance().Set(std::nullopt, false);
}

}  // namespace veltra::platform
