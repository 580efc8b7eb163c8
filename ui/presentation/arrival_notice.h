#pragma once
// What a desktop front end tells a user who is not looking at its window when something arrives:
// nothing while the window is active, else who sent it and what.

#include <optional>
#include <string>
#include <string_view>

#include "common/events.h"

namespace veltra {

struct ArrivalNotice {
    std::wstring title;  // the sender's name, plain text
    // The message's first line, how many files arrived, or which entry failed. Notification
    // servers may read the body as markup, so '&', '<' and '>' come escaped as entities: a peer's
    // text shows as the text it is, never as a link, a picture or a style.
    std::wstring body;
};

// For a message: its first line (the whole text when it has one line).
std::optional<ArrivalNotice> NoticeForMessage(const MessageReceived& message, bool window_active);
// For a batch from sender that stored count files ("收到<count>个文件"); nothing when none were.
std::optional<ArrivalNotice> NoticeForFiles(std::wstring_view sender, int count,
                                            bool window_active);
// For an entry of a batch from sender that failed ("接收失败：<name>（<reason>）"); nothing for
// one that was stored.
std::optional<ArrivalNotice> NoticeForFailure(std::wstring_view sender, const FileDone& entry,
                                              bool window_active);

}  // namespace veltra
