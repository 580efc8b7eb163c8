#include "receiving/attachment_list.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "engine/protocol.h"
#include "platform/file.h"
#include "receiving/fields.h"

namespace veltra {
namespace {

TEST(ParseAttachmentList, TwoEntriesWithDoubleColonNameAndMissingAttribute) {
    const auto list = ParseAttachmentList("0:a.txt:01f:5f3a11:1\a1:pic::1.jpg:010:5f3a12\a");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 2u);
    const AttachmentInfo& first = list->entries[0];
    EXPECT_EQ(first.id, 0u);
    EXPECT_EQ(first.name, "a.txt");
    EXPECT_EQ(first.size, 31u);
    EXPECT_EQ(first.time, 0x5f3a11u);
    EXPECT_EQ(first.attribute, ATTR_FILE);
    const AttachmentInfo& second = list->entries[1];
    EXPECT_EQ(second.id, 1u);
    EXPECT_EQ(second.name, "pic:1.jpg");
    EXPECT_EQ(second.size, 16u);
    EXPECT_EQ(second.time, 0x5f3a12u);
    EXPECT_EQ(second.attribute, ATTR_FILE);
}

TEST(ParseAttachmentList, IdsAndSizesAreHexadecimal) {
    const auto list = ParseAttachmentList("a:x:1ffffffff:0:1\aFF:y:AbC:0:2\a");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 2u);
    EXPECT_EQ(list->entries[0].id, 10u);
    EXPECT_EQ(list->entries[0].size, 0x1ffffffffull);  // the two halves of a 8 GiB size
    EXPECT_EQ(list->entries[1].id, 0xFFu);
    EXPECT_EQ(list->entries[1].size, 0xABCu);
    EXPECT_EQ(list->entries[1].Kind(), ATTR_DIR);
}

TEST(ParseAttachmentList, OtherKindsAreSkippedAndTheRestTaken) {
    const auto list =
        ParseAttachmentList("0:up:0:0:3\a1:flag:0:0:10\a2:dir:0:0:102\a3:file:5:0:1\a");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 2u);
    // Upper bits are carried; only the low byte tells the kind.
    EXPECT_EQ(list->entries[0].name, "dir");
    EXPECT_EQ(list->entries[0].attribute, 0x102u);
    EXPECT_EQ(list->entries[0].Kind(), ATTR_DIR);
    EXPECT_EQ(list->entries[1].name, "file");
}

TEST(ParseAttachmentList, AMissingFieldEndsTheList) {
    // The second entry lacks its time: it and everything after it are lost.
    auto list = ParseAttachmentList("0:a:1:0:1\a1:b:2\a2:c:3:0:1\a");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 1u);
    EXPECT_EQ(list->entries[0].name, "a");

    EXPECT_FALSE(ParseAttachmentList("0:a:1\a1:b:2:0:1\a"));
    EXPECT_FALSE(ParseAttachmentList("0\a"));
    EXPECT_FALSE(ParseAttachmentList(""));
    EXPECT_FALSE(ParseAttachmentList("\a\a\a"));
}

TEST(ParseAttachmentList, SeparatorRunsCollapse) {
    // Runs of BEL separate once; a leading BEL is skipped; ":::" is a ':' of the name, then a
    // separator.
    const auto list = ParseAttachmentList("\a\a0:a:::b:1:1\a\a\a1:c::::d:2:0\a");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 2u);
    EXPECT_EQ(list->entries[0].name, "a:");
    EXPECT_EQ(list->entries[0].size, 0xbu);  // "b" became the size field
    EXPECT_EQ(list->entries[0].time, 1u);
    EXPECT_EQ(list->entries[0].attribute, ATTR_FILE);
    EXPECT_EQ(list->entries[1].name, "c::d");
    EXPECT_EQ(list->entries[1].size, 2u);
}

TEST(ParseAttachmentList, ADoubledColonIsAColonAndASemicolonStaysOne) {
    // The sender writes "12:30 plan.txt" as "12::30 plan.txt" and a leading ':' as ';'.
    const auto list = ParseAttachmentList("0:12::30 plan.txt:1:0:1\a1:12;30 plan.txt:2:0:1\a" +
                                          std::string("2:;first:3:0:1\a3:x:::4:0:1\a"));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 4u);
    EXPECT_EQ(list->entries[0].name, "12:30 plan.txt");
    EXPECT_EQ(list->entries[1].name, "12;30 plan.txt");
    EXPECT_EQ(list->entries[2].name, ";first");
    // A doubled colon right before the separator is still the name's own.
    EXPECT_EQ(list->entries[3].name, "x:");
    EXPECT_EQ(list->entries[3].size, 4u);
}

TEST(ParseAttachmentList, NameLimitEndsTheList) {
    const std::string longest(259, 'n');
    auto list = ParseAttachmentList("0:" + longest + ":1:0:1\a1:b:1:0:1\a");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->entries.size(), 2u);
    EXPECT_EQ(list->entries[0].name, longest);

    list = ParseAttachmentList("0:a:1:0:1\a1:" + std::string(260, 'n') + ":1:0:1\a2:c:1:0:1\a");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 1u);
    EXPECT_EQ(list->entries[0].name, "a");
}

TEST(ParseAttachmentList, QuestionMarksBecomeUnderscores) {
    const auto list = ParseAttachmentList("0:wh?t??.txt:1:0:1\a");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->entries[0].name, "wh_t__.txt");
}

TEST(ParseAttachmentList, FurtherFieldsAreIgnored) {
    const auto list = ParseAttachmentList("0:a:1:0:1:99:zz\a");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->entries[0].attribute, ATTR_FILE);
}

std::vector<std::string> FieldsOf(std::string_view text, char doubled_colon_as) {
    const ColonFields fields(text, doubled_colon_as);
    std::vector<std::string> copies;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        copies.emplace_back(fields[i]);
    }
    return copies;
}

TEST(Fields, DoubledColonsStayInsideTheirFieldAndPairFromTheLeft) {
    using Fields = std::vector<std::string>;
    EXPECT_EQ(FieldsOf("0:a::b:1", ':'), (Fields{"0", "a:b", "1"}));
    // Where names cannot hold a ':' the pair stands for ';', as on the handheld.
    EXPECT_EQ(FieldsOf("0:a::b:1", ';'), (Fields{"0", "a;b", "1"}));
    EXPECT_EQ(FieldsOf("0:a:::1", ':'), (Fields{"0", "a:", "1"}));
    EXPECT_EQ(FieldsOf("0:a::::b:1", ':'), (Fields{"0", "a::b", "1"}));
    EXPECT_EQ(FieldsOf("0:a:::::1", ':'), (Fields{"0", "a::", "1"}));
    EXPECT_EQ(FieldsOf(":0::", ':'), (Fields{"0:"}));
    EXPECT_EQ(FieldsOf("::", ':'), (Fields{":"}));
    EXPECT_EQ(FieldsOf(":a:;b:", ':'), (Fields{"a", ";b"}));
    EXPECT_EQ(FieldsOf(":::", ':'), (Fields{":"}));
    EXPECT_EQ(FieldsOf(":", ':'), Fields{});
    EXPECT_EQ(FieldsOf("", ':'), Fields{});
    EXPECT_TRUE(platform::kNamesMayHoldColon);
    EXPECT_EQ(kDoubledColonAs, ':');
}

TEST(Fields, HexadecimalSizeStopsAtTheFirstOtherCharacter) {
    EXPECT_EQ(ParseHex64("01f"), 31u);
    EXPECT_EQ(ParseHex64("fFz9"), 0xffu);
    EXPECT_EQ(ParseHex64("x1"), 0u);
    EXPECT_EQ(ParseHex64("ffffffffffffffff"), ~std::uint64_t{0});
    EXPECT_EQ(ParseHex32("0x1A"), 0x1Au);
    EXPECT_EQ(ParseHex32("123456789"), 0x23456789u);
}

}  // namespace
}  // namespace veltra
