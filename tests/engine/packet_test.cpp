#include "engine/packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace veltra {
namespace {

std::string Build(std::int32_t number, const char* user, const char* host, std::int32_t command,
                  const char* message, const char* extension) {
    auto buffer = std::make_unique<char[]>(MAX_PACKET);
    int length = WritePacket(buffer.get(), number, user, host, command, message, extension);
    return std::string(buffer.get(), static_cast<std::size_t>(length));
}

// Parses bytes as they would arrive in one datagram.
std::unique_ptr<PacketRecord> Parse(const std::string& bytes, bool* ok = nullptr) {
    auto datagram = std::make_unique<RawDatagram>();
    std::memcpy(datagram->data, bytes.data(), bytes.size());
    datagram->data[bytes.size()] = '\0';
    datagram->byte_count = static_cast<int>(bytes.size());
    datagram->source = platform::MakeEndpoint(platform::InetAddr("192.168.2.10"), 4000);
    auto record = std::make_unique<PacketRecord>();
    bool parsed = ParsePacket(*datagram, *record);
    if (ok != nullptr) {
        *ok = parsed;
    }
    return record;
}

TEST(BuildPacket, AnnouncementIsTwentyFourBytes) {
    const std::string packet = Build(1000, "wm", "pda", 0x01000001, nullptr, nullptr);
    EXPECT_EQ(packet, std::string("1:1000:wm:pda:16777217:\0", 24));
}

TEST(BuildPacket, DropsCarriageReturnsAndAppendsExtension) {
    EXPECT_EQ(Build(7, "u", "h", 0x20, "a\r\nb", nullptr), std::string("1:7:u:h:32:a\nb\0", 15));
    EXPECT_EQ(Build(8, "u", "h", 0x00200020, "", "0:a.txt:01f:5:1\a"),
              std::string("1:8:u:h:2097184:\0"
                          "0:a.txt:01f:5:1\a\0",
                          34));
}

TEST(BuildPacket, NegativeWordsAndNumbersAreSignedDecimal) {
    EXPECT_EQ(Build(-5, "u", "h", static_cast<std::int32_t>(0x80000020), nullptr, nullptr),
              std::string("1:-5:u:h:-2147483616:\0", 22));
}

TEST(BuildPacket, LongMessageIsCutAndOversizedExtensionDroppedWhole) {
    const std::string long_text(20000, 'x');
    const std::string cut = Build(1, "u", "h", 0x20, long_text.c_str(), nullptr);
    EXPECT_EQ(cut.size(), static_cast<std::size_t>(MAX_PACKET));
    EXPECT_EQ(cut.back(), '\0');

    const std::string extension(MAX_PACKET, 'e');
    const std::string dropped = Build(1, "u", "h", 0x20, "hi", extension.c_str());
    EXPECT_EQ(dropped, std::string("1:1:u:h:32:hi\0", 14));

    // An extension that fits leaves the message only the room that remains.
    const std::string small_extension(100, 'e');
    const std::string both = Build(1, "u", "h", 0x20, long_text.c_str(), small_extension.c_str());
    EXPECT_EQ(both.size(), static_cast<std::size_t>(MAX_PACKET));
    EXPECT_EQ(both.substr(both.size() - 102), '\0' + small_extension + '\0');
}

TEST(BuildPacket, LongNamesAreCutToFortyNineBytesOnCharacterBoundaries) {
    const std::string long_name(60, 'n');
    const std::string packet = Build(1, long_name.c_str(), "h", 0x20, nullptr, nullptr);
    EXPECT_EQ(packet, "1:1:" + std::string(49, 'n') + ":h:32:" + std::string(1, '\0'));
    // 24 two-byte characters (48 bytes) and one more: the 25th would need bytes 49 and 50.
    std::string chinese;
    for (int i = 0; i < 25; ++i) {
        chinese += "\xD6\xD0";
    }
    PacketRecord record{};
    CopyNameField(record.user_name, chinese.c_str());
    EXPECT_EQ(std::strlen(record.user_name), 48u);
}

TEST(ParsePacket, ReadsHeaderAndExpandsLineFeeds) {
    bool ok = false;
    auto record = Parse(std::string("1:4711:wm:pda:32:a\r\nb\0", 22), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(record->version, 1);
    EXPECT_EQ(record->packet_number, 4711);
    EXPECT_STREQ(record->user_name, "wm");
    EXPECT_STREQ(record->host_name, "pda");
    EXPECT_EQ(record->command, 32);
    EXPECT_STREQ(record->Message(), "a\r\r\nb");
    EXPECT_EQ(record->extension_offset, 5);
    EXPECT_STREQ(record->Extension(), "");
    EXPECT_EQ(record->source_address, platform::InetAddr("192.168.2.10"));
    EXPECT_EQ(record->source_port, platform::MakeEndpoint(0, 4000).port);
    EXPECT_EQ(record->presence_mark, 0u);
}

TEST(ParsePacket, EmptyUserNameCollapsesSeparators) {
    bool ok = false;
    auto record = Parse(std::string("1:5::pda:32:hi\0", 15), &ok);
    ASSERT_TRUE(ok);
    EXPECT_STREQ(record->user_name, "pda");
    EXPECT_STREQ(record->host_name, "32");
    EXPECT_EQ(record->command, 0);
}

TEST(ParsePacket, MessageMayBeMissingOrHoldColons) {
    auto missing = Parse(std::string("1:5:wm:pda:32\0", 14));
    EXPECT_EQ(missing->command, 32);
    EXPECT_STREQ(missing->Message(), "");
    auto colons = Parse(std::string("1:5:wm:pda:32:a:b:c\0", 20));
    EXPECT_STREQ(colons->Message(), "a:b:c");
    auto leading = Parse(std::string("1:5:wm:pda:32::x\0", 17));
    EXPECT_STREQ(leading->Message(), ":x");
}

TEST(ParsePacket, FailuresKeepTheCommandWordZero) {
    bool ok = true;
    auto version_two = Parse(std::string("2:5:wm:pda:32:hi\0", 17), &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(version_two->version, 2);
    EXPECT_EQ(version_two->command, 0);
    auto short_header = Parse(std::string("1:5:wm:pda\0", 11), &ok);
    EXPECT_FALSE(ok);
    EXPECT_STREQ(short_header->host_name, "pda");
    EXPECT_EQ(short_header->command, 0);
    Parse(std::string("hello\0", 6), &ok);
    EXPECT_FALSE(ok);
    Parse(std::string(), &ok);
    EXPECT_FALSE(ok);
}

TEST(ParsePacket, ExtensionExistsOnlyWithBytesBeyondTheFirstNul) {
    auto none = Parse(std::string("1:1:a:b:32:m\0", 13));
    EXPECT_EQ(none->extension_offset, 1);
    auto one = Parse(std::string("1:1:a:b:32:m\0x", 14));
    EXPECT_EQ(one->extension_offset, 2);
    EXPECT_STREQ(one->Extension(), "x");
}

TEST(ParsePacket, TenThousandLineFeedsFillTheBufferEndingInALoneCr) {
    std::string bytes = "1:1:a:b:32:" + std::string(10000, '\n') + '\0';
    auto record = Parse(bytes);
    std::string expected;
    for (int i = 0; i < 8191; ++i) {
        expected += "\r\n";
    }
    expected += '\r';
    EXPECT_EQ(std::string(record->Message()), expected);
    EXPECT_EQ(record->extension_offset, 16383);
}

TEST(ParsePacket, ExpandedMessageMakesRoomForTheExtension) {
    std::string bytes = "1:1:a:b:32:" + std::string(6000, '\n') + '\0' + std::string(5000, 'e');
    bytes += '\0';
    auto record = Parse(bytes);
    EXPECT_EQ(record->extension_offset, 11383);
    EXPECT_EQ(record->text[11382], '\0');
    EXPECT_EQ(std::strlen(record->Message()), 11382u);
    EXPECT_EQ(std::string(record->Extension()), std::string(5000, 'e'));
}

TEST(ParsePacket, DecimalFieldsBeyondThirtyTwoBitsKeepTheirLowBits) {
    EXPECT_EQ(ParseDecimalField("  +42abc"), 42);
    EXPECT_EQ(ParseDecimalField("-7"), -7);
    EXPECT_EQ(ParseDecimalField("x"), 0);
    EXPECT_EQ(ParseDecimalField("4294967328"), 32);  // 2^32 + 32: a message to a 32-bit reader
    EXPECT_EQ(ParseDecimalField("18446744073709551648"), 32);  // 2^64 + 32
    EXPECT_EQ(ParseDecimalField("2147483648"), INT32_MIN);
}

TEST(ParsePacket, BuiltPacketsRoundTrip) {
    const std::string packet = Build(123, "用户", "主机", 0x00200020, "line1\r\nline2", "ext");
    bool ok = false;
    auto record = Parse(packet, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(record->packet_number, 123);
    EXPECT_STREQ(record->user_name, "用户");
    EXPECT_EQ(record->command, 0x00200020);
    EXPECT_STREQ(record->Message(), "line1\r\nline2");
    EXPECT_STREQ(record->Extension(), "ext");
}

}  // namespace
}  // namespace veltra
