#include <gtest/gtest.h>
#include <sys/socket.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/protocol.h"
#include "platform/socket.h"
#include "receiving/directory_download.h"
#include "tests/support/fake_peer.h"
#include "tests/support/wire.h"

namespace veltra {
namespace {

using testing::DirHeader;
using testing::EndMark;
using testing::WithLength;

// Both ends of a local stream; what the test writes to one end, ReadHeader reads from the other
// through a stream buffer of the given size.
class StreamPair {
  public:
    explicit StreamPair(std::size_t capacity = kStreamBuffer) {
        int descriptors[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, descriptors), 0);
        reader_ = platform::Socket(descriptors[0]);
        writer_ = platform::Socket(descriptors[1]);
        // A read beyond what was written fails quickly instead of waiting for ever.
        reader_.SetReceiveTimeout(200);
        stream_.emplace(reader_, capacity);
    }
    void Write(const std::string& bytes) { testing::SendBytes(writer_, bytes); }
    void CloseWriter() { writer_.Close(); }
    ContentReader& reader() { return *stream_; }

  private:
    platform::Socket reader_;
    platform::Socket writer_;
    std::optional<ContentReader> stream_;
};

TEST(ReadHeader, TheEndMarkNeedsNoSecondRead) {
    StreamPair stream;
    stream.Write(EndMark() + "000d:Trip:0:2");
    EXPECT_EQ(ReadHeader(stream.reader()), "08:.:0:3");
    EXPECT_EQ(ReadHeader(stream.reader()), "000d:Trip:0:2");
    EXPECT_EQ(ReadHeader(stream.reader()), std::nullopt);
}

TEST(ReadHeader, LengthsOutsideTheBufferBreakTheStream) {
    for (const char* lead : {"0007:a:0", "0000:a:0", "0400:abc", "ffff:abc", ":::::::x"}) {
        StreamPair stream;
        stream.Write(std::string(lead) + std::string(1100, 'z'));
        EXPECT_EQ(ReadHeader(stream.reader()), std::nullopt) << lead;
    }
    // The longest header that fits the 1024-byte buffer is read whole.
    StreamPair stream;
    const std::string longest = "03ff" + std::string(1023 - 4, ':');
    stream.Write(longest + EndMark());
    EXPECT_EQ(ReadHeader(stream.reader()), longest);
    EXPECT_EQ(ReadHeader(stream.reader()), EndMark());
}

TEST(ReadHeader, HeadersStraddlingTheBuffersRefillsComeOutWhole) {
    // The smallest buffer: the headers' ends fall anywhere, and the longest one follows a short
    // one, so what is left of a fill has to move to make room for it.
    StreamPair stream(0);
    std::vector<std::string> headers;
    for (int i = 0; i < 150; ++i) {
        headers.push_back(DirHeader(std::string(1 + i * 7 % 40, 'a' + i % 26)));
    }
    headers.push_back("03ff" + std::string(1023 - 4, ':'));
    headers.push_back(EndMark());
    std::string bytes;
    for (const std::string& header : headers) {
        bytes += header;
    }
    stream.Write(bytes);
    stream.CloseWriter();
    ASSERT_EQ(stream.reader().Capacity(), kHeaderBuffer);
    for (const std::string& header : headers) {
        EXPECT_EQ(ReadHeader(stream.reader()), header);
    }
    EXPECT_EQ(ReadHeader(stream.reader()), std::nullopt);
}

TEST(ReadHeader, AStreamThatEndsGivesNoHeader) {
    StreamPair stream;
    stream.Write("000d:Tr");
    stream.CloseWriter();
    EXPECT_EQ(ReadHeader(stream.reader()), std::nullopt);

    StreamPair cut;
    cut.Write("000d:Trip:");  // the length is there, the rest is not
    cut.CloseWriter();
    EXPECT_EQ(ReadHeader(cut.reader()), std::nullopt);
}

TEST(ParseHeader, FieldsOfTheSendersHeaders) {
    AttachmentInfo info;
    ASSERT_EQ(HeaderFields::kComplete, ParseHeader("0010:b.jpg:010:1", info));
    EXPECT_EQ(info.name, "b.jpg");
    EXPECT_EQ(info.size, 16u);
    EXPECT_EQ(info.attribute, ATTR_FILE);
    EXPECT_EQ(info.id, 0u);

    ASSERT_EQ(HeaderFields::kComplete, ParseHeader(DirHeader("Trip"), info));
    EXPECT_EQ(info.name, "Trip");
    EXPECT_EQ(info.size, 0u);
    EXPECT_EQ(info.Kind(), ATTR_DIR);

    ASSERT_EQ(HeaderFields::kComplete, ParseHeader(EndMark(), info));
    EXPECT_EQ(info.name, ".");
    EXPECT_EQ(info.Kind(), ATTR_UP);

    // Sizes of 4 GiB and more: the high half written first, both halves unpadded.
    ASSERT_EQ(HeaderFields::kComplete, ParseHeader(WithLength(":big:100000000:1"), info));
    EXPECT_EQ(info.size, 0x100000000ull);
}

TEST(ParseHeader, NamesAreRewrittenLikeAttachmentNames) {
    AttachmentInfo info;
    ASSERT_EQ(HeaderFields::kComplete, ParseHeader(WithLength(":a::b?.txt:2:1"), info));
    EXPECT_EQ(info.name, "a:b_.txt");
    EXPECT_EQ(info.size, 2u);
    ASSERT_EQ(HeaderFields::kComplete, ParseHeader(WithLength(":;a:::2:1:14=3"), info));
    EXPECT_EQ(info.name, ";a:");
    EXPECT_EQ(info.size, 2u);
    EXPECT_EQ(info.time, 3u);
    ASSERT_EQ(HeaderFields::kComplete,
              ParseHeader(WithLength(":" + std::string(259, 'n') + ":0:2"), info));
}

TEST(ParseHeader, ANameOf260BytesOrMoreIsRefusedWithTheOtherFieldsRead) {
    // The size and attribute still come through, so the entry can be dropped in step.
    AttachmentInfo info;
    EXPECT_EQ(HeaderFields::kNameTooLong,
              ParseHeader(WithLength(":" + std::string(260, 'n') + ":1f:1"), info));
    EXPECT_EQ(info.name, std::string(260, 'n'));
    EXPECT_EQ(info.size, 31u);
    EXPECT_EQ(info.Kind(), ATTR_FILE);
    EXPECT_EQ(HeaderFields::kNameTooLong,
              ParseHeader(WithLength(":" + std::string(1000, 'n') + ":0:2"), info));
    EXPECT_EQ(info.Kind(), ATTR_DIR);
    EXPECT_EQ(HeaderFields::kMissing, ParseHeader(WithLength(":" + std::string(300, 'n')), info));
}

TEST(ParseHeader, ExtendedFieldsMaySetTheTime) {
    AttachmentInfo info;
    ASSERT_EQ(HeaderFields::kComplete,
              ParseHeader(WithLength(":a:5:1:7=9:14=5f3a11:noequals:15=1"), info));
    EXPECT_EQ(info.time, 0x5f3a11u);
    EXPECT_EQ(info.Kind(), ATTR_FILE);
}

TEST(ParseHeader, MissingFieldsFail) {
    AttachmentInfo info;
    EXPECT_EQ(HeaderFields::kMissing, ParseHeader("", info));
    EXPECT_EQ(HeaderFields::kMissing, ParseHeader("0005:", info));
    EXPECT_EQ(HeaderFields::kMissing, ParseHeader("0006:a", info));
    EXPECT_EQ(HeaderFields::kMissing, ParseHeader("0008:a:5", info));
    EXPECT_EQ(HeaderFields::kComplete, ParseHeader("000a:a:5:1", info));
}

}  // namespace
}  // namespace veltra
