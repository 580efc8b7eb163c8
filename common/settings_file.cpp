#include "common/settings_file.h"

#include <ini.h>

#include <algorithm>
#include <system_error>

#include "common/text.h"
#include "platform/data_folder.h"
#include "platform/utf8.h"
#include "platform/whole_file.h"

namespace veltra {

namespace {

constexpr const char* kSection = "veltra";

struct Reading {
    SettingsFileValues values;
    std::vector<std::string> problems;
    const std::string* label;
    std::string_view text;
    int history_rows_lines = 0;  // the lines of the key read so far
};

constexpr std::string_view kBlanks = " \t\r";

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The number of the line that sets key in the section for the nth time (from 1), for a report; 0
// when there is none.
int LineOfKey(std::string_view text, std::string_view key, int nth) {
    int line_number = 0;
    int seen = 0;
    bool in_section = false;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = Trimmed(text.substr(start, end - start));
        ++line_number;
        if (line.starts_with('[')) {
            in_section = Trimmed(line.substr(1, line.find(']') - 1)) == kSection;
        } else if (in_section && line.starts_with(key) &&
                   Trimmed(line.substr(key.size())).starts_with('=') && ++seen == nth) {
            return line_number;
        }
        start = end + 1;
    }
    return 0;
}

// A whole number of rows within the bounds, digits only.
std::optional<std::size_t> RowsFrom(std::string_view value) {
    if (value.empty() || value.size() > 9 ||
        value.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t rows = std::stoul(std::string(value));
    if (rows < kMinHistoryRows || rows > kMaxHistoryRows) {
        return std::nullopt;
    }
    return rows;
}

void TakeHistoryRows(Reading& reading, std::string_view value) {
    ++reading.history_rows_lines;
    if (const std::optional<std::size_t> rows = RowsFrom(value)) {
        reading.values.history_rows = rows;
        return;
    }
    reading.values.history_rows.reset();  // a later bad line undoes an earlier good one
    reading.problems.push_back(
        *reading.label + ":" +
        std::to_string(LineOfKey(reading.text, "history_rows", reading.history_rows_lines)) +
        ": history_rows is not a whole number from " + std::to_string(kMinHistoryRows) + " to " +
        std::to_string(kMaxHistoryRows) + ": \"" + std::string(value) +
        "\"; the history keeps the newest " + std::to_string(kDefaultHistoryRows) + " rows");
}

int TakeValue(void* user, const char* section, const char* key, const char* value) {
    auto& reading = *static_cast<Reading*>(user);
    if (std::string_view(section) != kSection) {
        return 1;
    }
    const std::string_view name(key);
    if (name == "name") {
        std::wstring text = platform::Utf8ToWide(value);
        if (const NameFault fault = CheckUserName(text); fault != NameFault::kNone) {
            reading.problems.push_back(*reading.label + ": " + NameFaultText(fault) +
                                       "; the account's name is used");
        } else {
            reading.values.name = std::move(text);
        }
    } else if (name == "broadcast") {
        reading.values.broadcast = platform::Utf8ToWide(value);
    } else if (name == "history_rows") {
        TakeHistoryRows(reading, value);
    }
    return 1;
}

}  // namespace

NameFault CheckUserName(std::wstring_view name) {
    if (name.find(L':') != std::wstring_view::npos) {
        return NameFault::kColon;
    }
    if (std::any_of(name.begin(), name.end(), [](wchar_t c) { return c < L' ' || c == 0x7f; })) {
        return NameFault::kLineBreak;
    }
    const std::string wire = WideToAnsi(name);
    if (AnsiToWide(wire) != name) {
        return NameFault::kNotInCodePage;
    }
    if (wire.size() > kMaxUserNameBytes) {
        return NameFault::kTooLong;
    }
    return NameFault::kNone;
}

std::string NameFaultText(NameFault fault) {
    switch (fault) {
        case NameFault::kNone:
            break;
        case NameFault::kTooLong:
            return "the name is longer than " + std::to_string(kMaxUserNameBytes) +
                   " bytes of code page 936 (a Chinese character takes two)";
        case NameFault::kColon:
            return "the name may not contain ':'";
        case NameFault::kNotInCodePage:
            return "the name has a character that code page 936 cannot carry";
        case NameFault::kLineBreak:
            return "the name may not contain a line break or another control character";
    }
    return {};
}

SettingsFileRead ParseSettingsText(std::string_view text, const std::string& label) {
    Reading reading{{}, {}, &label, text, 0};
    const std::string terminated(text);  // the library reads up to a NUL
    const int result = ini_parse_string(terminated.c_str(), TakeValue, &reading);
    if (result != 0) {
        // The library reads on after a bad line; what it took from the rest is not trusted.
        return {{},
                {label + ":" + std::to_string(result) +
                 ": not a [section], a key = value or a comment (or longer than 199 bytes); the "
                 "file is ignored"}};
    }
    return {std::move(reading.values), std::move(reading.problems)};
}

std::string FormatSettingsText(const std::wstring& name, const std::wstring& broadcast,
                               std::optional<std::size_t> history_rows) {
    std::string text = "[veltra]\nname = " + platform::WideToUtf8(name) +
                       "\nbroadcast = " + platform::WideToUtf8(broadcast) + "\n";
    if (history_rows) {
        text += "history_rows = ";
        text += std::to_string(*history_rows);
        text += '\n';
    }
    return text;
}

std::optional<platform::Path> SettingsFilePath(platform::MissingFolder missing) {
    const std::optional<platform::Path> folder = platform::UserConfigFolder(missing);
    if (!folder) {
        return std::nullopt;
    }
    return *folder / L"veltra.conf";
}

SettingsFileRead ReadSettingsFile() {
    const std::optional<platform::Path> path = SettingsFilePath(platform::MissingFolder::kLeave);
    if (!path) {
        return {};
    }
    std::optional<std::string> text;
    try {
        text = platform::ReadWholeFile(*path);
    } catch (const std::system_error& error) {
        return {{}, {std::string(error.what()) + "; the file is ignored"}};
    }
    if (!text) {
        return {};
    }
    return ParseSettingsText(*text, path->Host());
}

std::vector<std::string> LoadSettingsFile(Settings& settings) {
    SettingsFileRead read = ReadSettingsFile();
    if (read.values.name && !read.values.name->empty()) {
        settings.user_name = *read.values.name;
    }
    if (read.values.broadcast) {
        settings.broadcast_list = *read.values.broadcast;
    }
    if (read.values.history_rows) {
        settings.history_rows = *read.values.history_rows;
    }
    return std::move(read.problems);
}

void SaveSettingsFile(const std::wstring& name, const std::wstring& broadcast) {
    const std::optional<platform::Path> path = SettingsFilePath(platform::MissingFolder::kMake);
    if (!path) {
        throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory),
                                "cannot make the folder of the settings file");
    }
    // The dialog edits the name and the list; the bound the user wrote stays as it was.
    const std::optional<std::size_t> history_rows = ReadSettingsFile().values.history_rows;
    platform::ReplaceWholeFile(*path, FormatSettingsText(name, broadcast, history_rows));
}

std::wstring EffectiveUserName(const std::wstring& configured) {
    return configured.empty() ? Settings().user_name : configured;
}

}  // namespace veltra
