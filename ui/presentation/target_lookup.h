#pragma once
// Who a TARGET typed by the user means: an IPv4 address as it is, or a name looked up in the list
// of users. Both the console running alone and the instance a command reaches look names up with
// this one rule, so a name means the same person whichever of them answers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/presentation/peer_rows.h"

namespace veltra {

// Strict dotted decimal: exactly four parts of one to three digits, each 0..255. Network order.
std::optional<std::uint32_t> ParseIpv4(std::wstring_view text);

// Digits and dots alone: meant as an address, so never looked up as a name. A mistyped address
// ("10.0.0.256") is refused as one rather than reported as an unknown user.
bool LooksLikeIpv4(std::wstring_view text);

enum class TargetOutcome {
    kAddress,     // a dotted IPv4 address, taken whether or not anybody listed answers from it
    kBadAddress,  // digits and dots that make no address
    kFound,       // a name that one row of the list answers to
    kUnknown,     // a name that no row answers to
    kSeveral,     // a name that more than one row answers to
};

struct TargetMatch {
    TargetOutcome outcome = TargetOutcome::kUnknown;
    std::uint32_t address = 0;  // kAddress, kFound: network order
    // kFound: the row; kSeveral: the rows that answer to the name; kUnknown: every row known.
    // In list order.
    std::vector<PeerRow> candidates;
};

// What target means among rows (in list order, as BuildPeerRows gives them). A row answers to a
// name that is its user name, its host name, or its whole text as listed without the own row's
// mark ("bob (10.0.0.5|pc2)"). Names are compared exactly; only when no row answers exactly are
// ASCII letters compared without regard to case. A row is counted once, however many of its
// names match.
TargetMatch LookUpTarget(std::wstring_view target, const std::vector<PeerRow>& rows);

// Why match names nobody to send to (kBadAddress, kUnknown, kSeveral), for the user: a first line,
// then each candidate's row text indented by two spaces, one per line, without line ends. The row
// texts are the peers' own: a terminal needs them made fit for it. Empty for the other outcomes.
std::vector<std::wstring> TargetProblemLines(std::wstring_view target, const TargetMatch& match);

}  // namespace veltra
