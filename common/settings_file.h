#pragma once
// The user's settings file, $XDG_CONFIG_HOME/veltra/veltra.conf: INI, section [veltra], keys
// "name" (the user name in every datagram; empty or absent: the account's) and "broadcast" (the
// ';'-separated further hosts an announcement goes to) and "history_rows" (how many rows the
// history keeps). Read at start by both front ends, written
// by the dialogs' settings dialog. A file that cannot be read as a whole is reported and ignored:
// the program starts with the defaults.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings.h"
#include "platform/data_folder.h"
#include "platform/path.h"

namespace veltra {

// The user name travels in a field of 50 bytes of code page 936 ended by a NUL.
inline constexpr std::size_t kMaxUserNameBytes = 49;

// Why a user name cannot go on the wire, if it cannot.
enum class NameFault {
    kNone,
    kTooLong,        // more than kMaxUserNameBytes in code page 936
    kColon,          // ':' separates the fields of a datagram
    kNotInCodePage,  // a character that code page 936 cannot carry
    kLineBreak,      // a control character: the name is shown on one line
};
NameFault CheckUserName(std::wstring_view name);
// The refusal in plain English, naming the limit ("the name is longer than 49 bytes ...").
std::string NameFaultText(NameFault fault);

// The rows the history may be told to keep: enough for one to matter, few enough that pruning
// and a search stay quick.
inline constexpr std::size_t kMinHistoryRows = 1;
inline constexpr std::size_t kMaxHistoryRows = 10000000;

// What the file says. A key that is absent stays empty.
struct SettingsFileValues {
    std::optional<std::wstring> name;
    std::optional<std::wstring> broadcast;
    std::optional<std::size_t> history_rows;
};

struct SettingsFileRead {
    SettingsFileValues values;
    // One line each, naming the file and, for a line it could not read, its number:
    // "FILE:3: not a section, a key = value or a comment; the file is ignored".
    std::vector<std::string> problems;
};

// Reads the INI text (UTF-8) of the file named label. A malformed line makes the whole file
// ignored; a name that cannot go on the wire is ignored alone. Unknown sections and keys are left
// alone, for newer versions.
SettingsFileRead ParseSettingsText(std::string_view text, const std::string& label);

// The text that ParseSettingsText reads back as values.
std::string FormatSettingsText(const std::wstring& name, const std::wstring& broadcast,
                               std::optional<std::size_t> history_rows = std::nullopt);

// The file's path; nothing without a home. kMake makes its folder (0700).
std::optional<platform::Path> SettingsFilePath(platform::MissingFolder missing);

// Reads the user's file as it is now: nothing and no problem when there is none.
SettingsFileRead ReadSettingsFile();

// Reads the user's file, if there is one, into settings: the name (else the account's, as
// Settings() found it), the broadcast list and the history's bound. Returns the problems, to be
// reported.
std::vector<std::string> LoadSettingsFile(Settings& settings);

// Writes the user's file in one step (see platform::ReplaceWholeFile), keeping the history's
// bound it has. Throws std::system_error naming the step and the file.
void SaveSettingsFile(const std::wstring& name, const std::wstring& broadcast);

// The name that goes into datagrams for a configured one: the account's when it is empty.
std::wstring EffectiveUserName(const std::wstring& configured);

}  // namespace veltra
