#include "ui/presentation/target_lookup.h"

#include <gtest/gtest.h>

#include "platform/socket.h"
#include "platform/utf8.h"

namespace veltra {
namespace {

PeerRow Row(const std::wstring& user, const char* address, const std::wstring& host,
            bool own = false) {
    std::wstring text = user + L" (" + platform::Utf8ToWide(address) + L"|" + host + L")";
    if (own) {
        text += kOwnRowMark;
    }
    return PeerRow{text, platform::InetAddr(address), user, host};
}

// A list in list order: this instance's own row, two users of one name, a Chinese name.
std::vector<PeerRow> Rows() {
    return {Row(L"王伟", "10.0.0.9", L"pc9"), Row(L"me", "10.0.0.1", L"desk", true),
            Row(L"bob", "10.0.0.3", L"pda"), Row(L"bob", "10.0.0.2", L"laptop"),
            Row(L"Alice", "10.0.0.5", L"pc5")};
}

std::vector<std::wstring> TextsOf(const std::vector<PeerRow>& rows) {
    std::vector<std::wstring> texts;
    for (const PeerRow& row : rows) {
        texts.push_back(row.text);
    }
    return texts;
}

void ExpectFound(std::wstring_view target, const char* address) {
    const TargetMatch match = LookUpTarget(target, Rows());
    EXPECT_EQ(match.outcome, TargetOutcome::kFound) << platform::WideToUtf8(target);
    EXPECT_EQ(match.address, platform::InetAddr(address)) << platform::WideToUtf8(target);
    EXPECT_TRUE(TargetProblemLines(target, match).empty());
}

TEST(TargetLookup, AnAddressIsTakenAsItIsListedOrNot) {
    TargetMatch match = LookUpTarget(L"10.0.0.3", Rows());
    EXPECT_EQ(match.outcome, TargetOutcome::kAddress);
    EXPECT_EQ(match.address, platform::InetAddr("10.0.0.3"));
    match = LookUpTarget(L"10.0.0.77", {});
    EXPECT_EQ(match.outcome, TargetOutcome::kAddress);
    EXPECT_EQ(match.address, platform::InetAddr("10.0.0.77"));
    EXPECT_TRUE(TargetProblemLines(L"10.0.0.77", match).empty());
}

TEST(TargetLookup, DigitsAndDotsThatMakeNoAddressAreRefusedAsOne) {
    std::vector<PeerRow> rows = Rows();
    rows.push_back(Row(L"10.0.0.256", "10.0.0.7", L"odd"));  // never found by such a name
    const TargetMatch match = LookUpTarget(L"10.0.0.256", rows);
    EXPECT_EQ(match.outcome, TargetOutcome::kBadAddress);
    EXPECT_EQ(TargetProblemLines(L"10.0.0.256", match),
              std::vector<std::wstring>{L"not an IPv4 address: '10.0.0.256'"});
    EXPECT_EQ(LookUpTarget(L"1.2.3", rows).outcome, TargetOutcome::kBadAddress);
    EXPECT_TRUE(LooksLikeIpv4(L"1..2"));
    EXPECT_FALSE(LooksLikeIpv4(L"pc5"));
    EXPECT_FALSE(LooksLikeIpv4(L""));
}

TEST(TargetLookup, AUniqueUserNameHostNameOrWholeRowFindsItsRow) {
    ExpectFound(L"王伟", "10.0.0.9");
    ExpectFound(L"laptop", "10.0.0.2");
    ExpectFound(L"pda", "10.0.0.3");
    ExpectFound(L"bob (10.0.0.2|laptop)", "10.0.0.2");
    const TargetMatch match = LookUpTarget(L"pc9", Rows());
    ASSERT_EQ(match.candidates.size(), 1U);
    EXPECT_EQ(match.candidates.front().text, L"王伟 (10.0.0.9|pc9)");
}

TEST(TargetLookup, TheOwnRowAnswersToItsNamesWithoutItsMark) {
    ExpectFound(L"me", "10.0.0.1");
    ExpectFound(L"desk", "10.0.0.1");
    ExpectFound(L"me (10.0.0.1|desk)", "10.0.0.1");
    // The mark is the list's, not part of anybody's name.
    EXPECT_EQ(LookUpTarget(L"me (10.0.0.1|desk)（本机）", Rows()).outcome, TargetOutcome::kUnknown);
}

TEST(TargetLookup, CaseCountsOnlyWhenSomethingMatchesExactly) {
    ExpectFound(L"alice", "10.0.0.5");
    ExpectFound(L"PC5", "10.0.0.5");
    ExpectFound(L"BOB (10.0.0.3|PDA)", "10.0.0.3");
    // An exact match wins over a row that matches only without regard to case.
    std::vector<PeerRow> rows = Rows();
    rows.push_back(Row(L"alice", "10.0.0.6", L"pc6"));
    const TargetMatch match = LookUpTarget(L"alice", rows);
    EXPECT_EQ(match.outcome, TargetOutcome::kFound);
    EXPECT_EQ(match.address, platform::InetAddr("10.0.0.6"));
    EXPECT_EQ(LookUpTarget(L"ALICE", rows).outcome, TargetOutcome::kSeveral);
}

TEST(TargetLookup, ANameOfSeveralUsersListsTheirRowsInListOrder) {
    const TargetMatch match = LookUpTarget(L"bob", Rows());
    EXPECT_EQ(match.outcome, TargetOutcome::kSeveral);
    EXPECT_EQ(TextsOf(match.candidates),
              (std::vector<std::wstring>{L"bob (10.0.0.3|pda)", L"bob (10.0.0.2|laptop)"}));
    EXPECT_EQ(TargetProblemLines(L"bob", match),
              (std::vector<std::wstring>{
                  L"'bob' names several users; give one's address or its whole row:",
                  L"  bob (10.0.0.3|pda)", L"  bob (10.0.0.2|laptop)"}));
    // One user's name that is another's host: both are meant.
    std::vector<PeerRow> rows = Rows();
    rows.push_back(Row(L"carol", "10.0.0.8", L"bob"));
    EXPECT_EQ(LookUpTarget(L"bob", rows).candidates.size(), 3U);
    // A row whose user and host have one name counts once.
    rows = {Row(L"solo", "10.0.0.4", L"solo")};
    EXPECT_EQ(LookUpTarget(L"solo", rows).outcome, TargetOutcome::kFound);
}

TEST(TargetLookup, ANameOfNobodyListsEveryUserKnown) {
    const TargetMatch match = LookUpTarget(L"carol", Rows());
    EXPECT_EQ(match.outcome, TargetOutcome::kUnknown);
    const std::vector<std::wstring> lines = TargetProblemLines(L"carol", match);
    ASSERT_EQ(lines.size(), 6U);
    EXPECT_EQ(lines[0], L"no user or host named 'carol'; the users known:");
    EXPECT_EQ(lines[2], L"  me (10.0.0.1|desk)（本机）");
    EXPECT_EQ(lines[5], L"  Alice (10.0.0.5|pc5)");
    // Part of a name is no name.
    EXPECT_EQ(LookUpTarget(L"bo", Rows()).outcome, TargetOutcome::kUnknown);
    EXPECT_EQ(LookUpTarget(L"bob ", Rows()).outcome, TargetOutcome::kUnknown);

    const TargetMatch alone = LookUpTarget(L"carol", {});
    EXPECT_EQ(alone.outcome, TargetOutcome::kUnknown);
    EXPECT_EQ(TargetProblemLines(L"carol", alone),
              std::vector<std::wstring>{L"no user or host named 'carol', and no user is known"});
}

TEST(TargetLookup, AddressesAreStrictDottedQuads) {
    EXPECT_EQ(ParseIpv4(L"0.0.0.0"), platform::InetAddr("0.0.0.0"));
    EXPECT_EQ(ParseIpv4(L"255.255.255.255"), platform::InetAddr("255.255.255.255"));
    EXPECT_EQ(ParseIpv4(L"192.168.001.020"), platform::InetAddr("192.168.1.20"));
    for (const wchar_t* bad :
         {L"", L"1.2.3", L"1.2.3.4.5", L"1.2.3.256", L"1..2.3", L"1.2.3.4x", L"0x7f.0.0.1",
          L"1234.1.1.1", L"a.b.c.d", L"-1.2.3.4", L"1.2.3.", L"１.2.3.4"}) {
        EXPECT_EQ(ParseIpv4(bad), std::nullopt) << platform::WideToUtf8(bad);
    }
}

}  // namespace
}  // namespace veltra
