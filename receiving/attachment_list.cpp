#include "receiving/attachment_list.h"

#include "engine/protocol.h"
#include "receiving/fields.h"

namespace veltra {

namespace {

enum class EntryResult { kTaken, kSkipped, kEndOfList };

EntryResult ParseEntry(std::string_view entry_text, AttachmentInfo& info) {
    const ColonFields fields(entry_text, kDoubledColonAs);
    if (fields.size() < 2 || fields[1].size() > kMaxNameBytes) {
        return EntryResult::kEndOfList;
    }
    info.id = ParseHex32(fields[0]);
    info.name.assign(fields[1]);
    ReplaceQuestionMarks(info.name);
    if (fields.size() < 4) {
        return EntryResult::kEndOfList;
    }
    info.size = ParseHex64(fields[2]);
    info.time = ParseHex32(fields[3]);
    info.attribute = fields.size() > 4 ? ParseHex32(fields[4]) : ATTR_FILE;
    if (info.Kind() != ATTR_FILE && info.Kind() != ATTR_DIR) {
        return EntryResult::kSkipped;
    }
    return EntryResult::kTaken;
}

}  // namespace

std::optional<AttachmentList> ParseAttachmentList(std::string_view extension) {
    AttachmentList list;
    for (const std::string_view entry_text : SplitFields(extension, '\a')) {
        AttachmentInfo info;
        const EntryResult result = ParseEntry(entry_text, info);
        if (result == EntryResult::kEndOfList) {
            break;
        }
        if (result == EntryResult::kTaken) {
            list.entries.push_back(std::move(info));
        }
    }
    if (list.entries.empty()) {
        return std::nullopt;
    }
    return list;
}

}  // namespace veltra
