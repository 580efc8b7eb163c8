#include "ui/presentation/target_lookup.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace veltra {

namespace {

// The row's text as the list shows it, less the mark that only this instance's own row has.
std::wstring_view KeyOf(const PeerRow& row) {
    std::wstring_view text = row.text;
    const std::wstring_view mark = kOwnRowMark;
    if (text.ends_with(mark)) {
        text.remove_suffix(mark.size());
    }
    return text;
}

wchar_t FoldAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool SameIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return FoldAscii(x) == FoldAscii(y); });
}

using Same = std::function<bool(std::wstring_view, std::wstring_view)>;

std::vector<PeerRow> RowsAnswering(std::wstring_view target, const std::vector<PeerRow>& rows,
                                   const Same& same) {
    std::vector<PeerRow> answering;
    for (const PeerRow& row : rows) {
        if (same(row.name, target) || same(row.host, target) || same(KeyOf(row), target)) {
            answering.push_back(row);
        }
    }
    return answering;
}

}  // namespace

std::optional<std::uint32_t> ParseIpv4(std::wstring_view text) {
    // Built byte by byte: inet_addr would also take "1", "0x7f.1" and read "010" as octal.
    unsigned char bytes[4] = {};
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != L'.') {
                return std::nullopt;
            }
            text.remove_prefix(1);
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9') {
            if (++digits > 3) {
                return std::nullopt;
            }
            value = value * 10 + static_cast<unsigned>(text[digits - 1] - L'0');
        }
        if (digits == 0 || value > 255) {
            return std::nullopt;
        }
        text.remove_prefix(digits);
        bytes[part] = static_cast<unsigned char>(value);
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    std::uint32_t network_order = 0;
    std::memcpy(&network_order, bytes, sizeof network_order);  // first part first in memory
    return network_order;
}

bool LooksLikeIpv4(std::wstring_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](wchar_t c) {
        return c == L'.' || (c >= L'0' && c <= L'9');
    });
}

TargetMatch LookUpTarget(std::wstring_view target, const std::vector<PeerRow>& rows) {
    TargetMatch match;
    if (const std::optional<std::uint32_t> address = ParseIpv4(target)) {
        match.outcome = TargetOutcome::kAddress;
        match.address = *address;
        return match;
    }
    if (LooksLikeIpv4(target)) {
        match.outcome = TargetOutcome::kBadAddress;
        return match;
    }
    match.candidates = RowsAnswering(target, rows, std::equal_to<std::wstring_view>());
    if (match.candidates.empty()) {
        match.candidates = RowsAnswering(target, rows, SameIgnoringAsciiCase);
    }
    if (match.candidates.size() == 1) {
        match.outcome = TargetOutcome::kFound;
        match.address = match.candidates.front().address;
    } else if (match.candidates.empty()) {
        match.outcome = TargetOutcome::kUnknown;
        match.candidates = rows;
    } else {
        match.outcome = TargetOutcome::kSeveral;
    }
    return match;
}

std::vector<std::wstring> TargetProblemLines(std::wstring_view target, const TargetMatch& match) {
    const std::wstring quoted = L"'" + std::wstring(target) + L"'";
    std::vector<std::wstring> lines;
    switch (match.outcome) {
        case TargetOutcome::kAddress:
        case TargetOutcome::kFound:
            return lines;
        case TargetOutcome::kBadAddress:
            lines.push_back(L"not an IPv4 address: " + quoted);
            return lines;
        case TargetOutcome::kUnknown:
            lines.push_back(match.candidates.empty()
                                ? L"no user or host named " + quoted + L", and no user is known"
                                : L"no user or host named " + quoted + L"; the users known:");
            break;
        case TargetOutcome::kSeveral:
            lines.push_back(quoted + L" names several users; give one's address or its whole row:");
            break;
    }
    for (const PeerRow& row : match.candidates) {
        lines.push_back(L"  " + row.text);
    }
    return lines;
}

}  // namespace veltra
