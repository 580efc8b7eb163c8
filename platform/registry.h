#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace veltra::platform {

// The current user's registry, kept in memory for the life of the process and shared by all
// threads. Nothing is stored between runs. Key and value names match without regard to ASCII case.
//
// At first use it holds one value, "Owner" of the key "\ControlPanel\Owner": the account's full
// name (the first comma-separated field of its GECOS entry), else its login name, else $USER or
// $LOGNAME; it is left out when none of them is known.

inline constexpr std::wstring_view kOwnerKey = L"\\ControlPanel\\Owner";
inline constexpr std::wstring_view kOwnerValue = L"Owner";

// An open key. Opening creates the key when it is absent; closing (destruction) changes nothing.
class RegistryKey {
  public:
    static std::optional<RegistryKey> OpenOrCreate(std::wstring_view key);

    // The value as stored, embedded NULs included; nothing when the key has no such value.
    std::optional<std::wstring> ReadValue(std::wstring_view value_name) const;

  private:
    explicit RegistryKey(std::wstring key) : key_(std::move(key)) {}
    std::wstring key_;
};

// Reads a value without creating the key.
std::optional<std::wstring> ReadRegistryValue(std::wstring_view key, std::wstring_view value_name);
bool RegistryKeyExists(std::wstring_view key);

// For tests. SeedRegistryValue creates the key if needed and sets the value. ClearRegistry removes
// every key and value, and the defaults do not come back until ResetRegistryToDefaults, which
// leaves exactly the state of first use.
void SeedRegistryValue(std::wstring_view key, std::wstring_view value_name,
                       std::wstring_view value);
void ClearRegistry();
void ResetRegistryToDefaults();

}  // namespace veltra::platform
