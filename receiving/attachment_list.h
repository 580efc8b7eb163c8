#pragma once
// The entries a message offers, as read from its extension: one per BEL-terminated entry
// "id:name:size:time[:attribute]".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltra {

// Longest name accepted, in bytes of the sender's code page; a longer one ends the list.
inline constexpr std::size_t kMaxNameBytes = 259;

// One offered file or directory, or one entry of a directory stream.
struct AttachmentInfo {
    std::uint32_t id = 0;  // the sender's file id; 0 inside a directory stream
    std::string name;      // code page 936, "::" and '?' already rewritten
    // Low byte: ATTR_FILE, ATTR_DIR or (streams only) ATTR_UP; higher bits are carried along.
    std::uint32_t attribute = 0;
    std::uint64_t size = 0;  // content bytes of a file, 0 for a directory
    std::uint32_t time = 0;  // carried as sent, never applied to the stored file

    std::uint32_t Kind() const { return attribute & 0xFF; }
};

struct AttachmentList {
    std::vector<AttachmentInfo> entries;
};

// Parses an offer's extension. A malformed entry (missing id, name, size or time, or a name of
// 260 bytes or more) ends the list there; an entry of another kind than file or directory is
// skipped. Nothing when no entry was taken.
std::optional<AttachmentList> ParseAttachmentList(std::string_view extension);

}  // namespace veltra
