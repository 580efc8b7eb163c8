#include "receiving/fields.h"

#include <cstdlib>

namespace veltra {

std::vector<std::string_view> SplitFields(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    size_t position = 0;
    while (position < text.size()) {
        const size_t start = text.find_first_not_of(separator, position);
        if (start == std::string_view::npos) {
            break;
        }
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        fields.push_back(text.substr(start, end - start));
        position = end;
    }
    return fields;
}

ColonFields::ColonFields(std::string_view text, char doubled_colon_as) {
    // Most names hold no ':': their fields stay views into the text, with no copy made.
    if (text.find("::") == std::string_view::npos) {
        fields_ = SplitFields(text, ':');
        return;
    }
    // Unescaped text is never longer than the text, so the reserve keeps the views valid.
    unescaped_.reserve(text.size());
    std::size_t field_start = std::string::npos;
    const auto end_field = [this, &field_start] {
        if (field_start != std::string::npos) {
            fields_.emplace_back(unescaped_.data() + field_start, unescaped_.size() - field_start);
            field_start = std::string::npos;
        }
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ':') {
            if (i + 1 == text.size() || text[i + 1] != ':') {
                end_field();
                continue;
            }
            c = doubled_colon_as;
            ++i;
        }
        if (field_start == std::string::npos) {
            field_start = unescaped_.size();
        }
        unescaped_ += c;
    }
    end_field();
}

std::uint64_t ParseHex64(std::string_view text) {
    std::uint64_t value = 0;
    for (const char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        value = (value << 4) | digit;
    }
    return value;
}

std::uint32_t ParseHex32(std::string_view text) {
    // strtoul needs a terminated string; a field never holds a NUL that matters here, since the
    // conversion stops at the first character that is no digit anyway.
    const std::string copy(text);
    return static_cast<std::uint32_t>(std::strtoul(copy.c_str(), nullptr, 16));
}

void ReplaceQuestionMarks(std::string& name) {
    for (char& c : name) {
        if (c == '?') {
            c = '_';
        }
    }
}

}  // namespace veltra
