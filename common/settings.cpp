#include "common/settings.h"

#include "platform/registry.h"

namespace veltra {

Settings::Settings() {
    user_name = OwnerName();
    if (user_name.empty()) {
        user_name = L"WMUSER";
    }
}

std::wstring OwnerName() {
    const std::optional<std::wstring> value = platform::ReadOwnerValue();
    if (!value) {
        return {};
    }
    return value->substr(0, value->find(L'\0'));
}

Settings& ProcessSettings() {
    static Settings settings;
    return settings;
}

}  // namespace veltra
