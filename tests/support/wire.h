#pragma once
// What senders write, for the tests of the receiving side: attachment entries of an offer, the
// items of a directory stream, and the fields of a fetch request.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace veltra::testing {

// One attachment entry of an offer (attribute 1 = file, 2 = directory).
inline std::string Entry(unsigned id, const std::string& name, std::uint64_t size,
                         unsigned attribute = 1) {
    char text[1200];
    std::snprintf(text, sizeof text, "%x:%s:%x%x:%x:%x\a", id, name.c_str(),
                  static_cast<unsigned>(size >> 32), static_cast<unsigned>(size), 0x5f3a11u,
                  attribute);
    return text;
}

// A directory-stream item: its length in four hex digits, then the rest.
inline std::string WithLength(const std::string& rest) {
    char length[16];
    std::snprintf(length, sizeof length, "%04zx", rest.size() + 4);
    return length + rest;
}
inline std::string DirHeader(const std::string& name) {
    return WithLength(":" + name + ":0:2");
}
inline std::string FileHeader(const std::string& name, std::uint64_t size) {
    char field[32];
    std::snprintf(field, sizeof field, "%x%x", static_cast<unsigned>(size >> 32),
                  static_cast<unsigned>(size));
    return WithLength(":" + name + ":" + field + ":1");
}
// A file's header and its content.
inline std::string FileItem(const std::string& name, const std::string& content) {
    return FileHeader(name, content.size()) + content;
}
// The item that ends a directory.
inline std::string EndMark() {
    return "08:.:0:3";
}

// The fields of a request "1:number:user:host:command:offer:id:offset:" and its NUL.
inline std::vector<std::string> RequestFields(const std::string& request) {
    std::vector<std::string> fields(1);
    for (const char c : request) {
        if (c == ':') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}
// The file id a request names, or ~0 when it names none.
inline unsigned RequestedId(const std::string& request) {
    const std::vector<std::string> fields = RequestFields(request);
    return fields.size() > 6 ? static_cast<unsigned>(std::stoul(fields[6], nullptr, 16)) : ~0u;
}

}  // namespace veltra::testing
