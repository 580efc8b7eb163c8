#include "serving/transfer_request.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/protocol.h"
#include "tests/serving/serving_support.h"

namespace veltra {
namespace {

using testing::DirectoryRequest;
using testing::FileRequest;
using testing::Request;

std::optional<std::int32_t> FileId(const std::string& bytes) {
    const auto request = ParseTransferRequest(bytes);
    return request ? std::optional<std::int32_t>(request->file_id) : std::nullopt;
}

TEST(TransferRequest, CommandWordSelectsFileOrDirectory) {
    const auto file = ParseTransferRequest(FileRequest("0"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->command, CMD_FETCH_FILE);
    EXPECT_EQ(file->file_id, 0);
    const auto directory = ParseTransferRequest(DirectoryRequest("3"));
    ASSERT_TRUE(directory);
    EXPECT_EQ(directory->command, CMD_FETCH_DIR);
    EXPECT_EQ(directory->file_id, 3);
}

TEST(TransferRequest, IdIsHexadecimalInEitherCase) {
    EXPECT_EQ(FileId(FileRequest("A")), 10);
    EXPECT_EQ(FileId(FileRequest("a")), 10);
    EXPECT_EQ(FileId(FileRequest("7fFfFfFf")), 0x7FFFFFFF);
    // Accumulated in 64 bits; the low 32 count.
    EXPECT_EQ(FileId(FileRequest("123456789a")), 0x3456789A);
    // Reading stops at the first character that is no digit; none at all reads as 0.
    EXPECT_EQ(FileId(Request(CMD_FETCH_FILE, "64:1g:0:")), 1);
    EXPECT_EQ(FileId(Request(CMD_FETCH_FILE, "64::0:")), 0);
}

TEST(TransferRequest, OnlyTheCommandAndTheIdMatter) {
    // Offset not 0, any packet number, no trailing fields: the same file, from its first byte.
    EXPECT_EQ(FileId(Request(CMD_FETCH_FILE, "ffff:2:400:")), 2);
    EXPECT_EQ(FileId(Request(CMD_FETCH_FILE, "x:2")), 2);
    EXPECT_EQ(FileId("1:5:someone:elsewhere:96:0:2:0:"), 2);  // no NUL at the end
}

TEST(TransferRequest, RefusesAnythingButAnExactFetchWithAnId) {
    // Option bits on the command word.
    EXPECT_FALSE(ParseTransferRequest(Request(CMD_FETCH_FILE | OPT_ATTACHMENTS, "64:0:0:")));
    EXPECT_FALSE(ParseTransferRequest(Request(CMD_FETCH_DIR | OPT_WANT_ACK, "64:0:0:")));
    // Other commands, even with a fitting message.
    EXPECT_FALSE(ParseTransferRequest(Request(CMD_MESSAGE, "64:0:0:")));
    EXPECT_FALSE(ParseTransferRequest(Request(0x61, "64:0:0:")));
    // Not a packet at all, or of another version.
    EXPECT_FALSE(ParseTransferRequest("hello"));
    EXPECT_FALSE(ParseTransferRequest(""));
    EXPECT_FALSE(ParseTransferRequest("2:77:wm:pda:96:64:0:0:"));
    // No ':' in the message: no id field.
    EXPECT_FALSE(ParseTransferRequest(Request(CMD_FETCH_FILE, "64")));
    EXPECT_FALSE(ParseTransferRequest(Request(CMD_FETCH_FILE, "")));
    // The id field must be in the message, not beyond its NUL.
    EXPECT_FALSE(ParseTransferRequest(Request(CMD_FETCH_FILE, "64") + ":5:0:"));
}

TEST(TransferRequest, OnlyTheFirst1024BytesAreRead) {
    const std::string head = "1:77:wm:pda:96:";
    std::string padded = head + std::string(kMaxRequestLength - head.size() - 1, 'x') + "1";
    // The ':' that would carry the id lies beyond the first 1024 bytes.
    EXPECT_FALSE(ParseTransferRequest(padded + ":2:0:"));
    padded = head + std::string(kMaxRequestLength - head.size() - 2, 'x') + ":b";
    ASSERT_EQ(padded.size(), kMaxRequestLength);
    EXPECT_EQ(FileId(padded + "c:0:"), 0xb);
}

}  // namespace
}  // namespace veltra
