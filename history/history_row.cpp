#include "history/history_row.h"

#include <array>

namespace veltra {

namespace {

constexpr std::array<std::string_view, 5> kKindNames = {
    "message_received", "message_sent", "entry_received", "entry_offered", "batch_received"};

}  // namespace

std::string_view KindName(HistoryKind kind) {
    return kKindNames[static_cast<std::size_t>(kind)];
}

std::optional<HistoryKind> KindNamed(std::string_view name) {
    for (std::size_t i = 0; i < kKindNames.size(); ++i) {
        if (kKindNames[i] == name) {
            return static_cast<HistoryKind>(i);
        }
    }
    return std::nullopt;
}

}  // namespace veltra
