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
};

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
    Reading reading{{}, {}, &label};
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

std::string FormatSettingsText(const std::wstring& name, const std::wstring& broadcast) {
    return "[veltra]\nname = " + platform::WideToUtf8(name) +
           "\nbroadcast = " + platform::WideToUtf8(broadcast) + "\n";
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
    return std::move(read.problems);
}

void SaveSettingsFile(const std::wstring& name, const std::wstring& broadcast) {
    const std::optional<platform::Path> path = SettingsFilePath(platform::MissingFolder::kMake);
    if (!path) {
        throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory),
                                "cannot make the folder of the settings file");
    }
    platform::ReplaceWholeFile(*path, FormatSettingsText(name, broadcast));
}

std::wstring EffectiveUserName(const std::wstring& configured) {
    return configured.empty() ? Settings().user_name : configured;
}

}  // namespace veltra
