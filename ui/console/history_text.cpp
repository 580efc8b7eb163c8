#include "ui/console/history_text.h"

#include "ui/console/terminal_text.h"
#include "ui/presentation/history_entries.h"

namespace veltra {

std::wstring HistoryEntry(const HistoryRow& row) {
    return HistoryDateTime(row) + L" " + HistoryEntryText(row, TerminalText);
}

}  // namespace veltra
