#include "ui/presentation/history_list.h"

#include "platform/path.h"
#include "platform/utf8.h"
#include "ui/presentation/history_entries.h"

namespace veltra {
namespace {

std::string TrimmedUtf8(std::wstring_view text) {
    constexpr std::wstring_view kBlanks = L" \t\r\n\u3000";  // the ideographic space too
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos) {
        return {};
    }
    return platform::WideToUtf8(
        std::wstring(text.substr(first, text.find_last_not_of(kBlanks) - first + 1)));
}

// The log's lines as one: each line break, with the indentation after it, one space; none at the
// end.
std::wstring OneLine(const std::wstring& entry) {
    std::wstring line;
    bool after_break = false;
    for (const wchar_t c : entry) {
        if (c == L'\r' || c == L'\n') {
            after_break = true;
        } else if (!(after_break && c == L' ')) {
            if (after_break && !line.empty()) {
                line += L' ';
            }
            after_break = false;
            line += c;
        }
    }
    return line;
}

}  // namespace

HistoryQuery HistoryWindowQuery(std::wstring_view text, std::wstring_view peer) {
    HistoryQuery query;
    query.limit = kHistoryWindowRows;
    query.text = TrimmedUtf8(text);
    query.peer = TrimmedUtf8(peer);
    return query;
}

HistoryListRow ListRowOf(const HistoryRow& row) {
    HistoryListRow shown;
    shown.time = HistoryDateTime(row);
    shown.text = OneLine(HistoryEntryText(row, ShownAsItIs));
    if (row.kind == HistoryKind::kEntryReceived && row.outcome == outcome::kStored &&
        !row.stored_path.empty()) {
        shown.stored_path = platform::Utf8ToWide(row.stored_path);
        shown.folder =
            platform::Utf8ToWide(platform::Path::FromHost(row.stored_path).Parent().Host());
    }
    return shown;
}

}  // namespace veltra
