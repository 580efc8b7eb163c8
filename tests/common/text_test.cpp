#include "common/text.h"

#include <gtest/gtest.h>

#include <string>

namespace veltra {
namespace {

TEST(TextTest, PeerKeysInGbkComeOutAsTheSameCharacters) {
    // "张三@pda" as a peer key arrives in GBK.
    const std::string key = "\xD5\xC5\xC8\xFD@pda";
    EXPECT_EQ(AnsiToWide(key), L"张三@pda");
    EXPECT_EQ(WideToAnsi(L"张三@pda"), key);
    EXPECT_EQ(WideToAnsi(L""), "");
    EXPECT_EQ(AnsiToWide(""), L"");
}

TEST(TextTest, LongMessagesConvertWhole) {
    std::wstring message;
    for (int i = 0; i < 4000; ++i) {
        message += L"消息";
    }
    const std::string bytes = WideToAnsi(message);
    EXPECT_EQ(bytes.size(), 16000u);
    EXPECT_EQ(AnsiToWide(bytes), message);
}

TEST(TextTest, FormatAnsiHandlesTheDirectivesInUse) {
    EXPECT_EQ(FormatAnsi("%x:%s:%x%x:%x:1\a", 10u, "a.txt", 0u, 31u, 0x5f3e2a10u),
              "a:a.txt:01f:5f3e2a10:1\a");
    EXPECT_EQ(FormatAnsi("%04x%s", 13, ":Trip:0:2"), "000d:Trip:0:2");
    EXPECT_EQ(FormatAnsi("%d %ld %.2f %%", -5, 1234567890123L, 2.345), "-5 1234567890123 2.35 %");
    EXPECT_EQ(FormatAnsi("%s", ""), "");
}

TEST(TextTest, FormatAnsiIsNotCut) {
    const std::string long_text(20000, 'x');
    const std::string result = FormatAnsi("[%s]", long_text.c_str());
    EXPECT_EQ(result.size(), 20002u);
    EXPECT_EQ(result, "[" + long_text + "]");
}

TEST(TextTest, FormatWideHandlesTheDirectivesInUse) {
    EXPECT_EQ(FormatWide(L"在线人数：%d", 12), L"在线人数：12");
    EXPECT_EQ(FormatWide(L"%ls%ls\\", L"\\Storage Card\\Received\\", L"相册"),
              L"\\Storage Card\\Received\\相册\\");
    EXPECT_EQ(FormatWide(L"%.2f KB/s %d%% %04x", 12.345, 50, 0xab), L"12.35 KB/s 50% 00ab");
    EXPECT_EQ(FormatWide(L"%s", "narrow ascii"), L"narrow ascii");
}

TEST(TextTest, FormatWideGrowsForLongLogs) {
    std::wstring log;
    for (int i = 0; i < 3000; ++i) {
        log += L"开始接收文件 a.txt\r\n";
    }
    const std::wstring entry = FormatWide(L"%ls%ls\r\n", log.c_str(), L"完成");
    EXPECT_EQ(entry.size(), log.size() + 4);
    EXPECT_EQ(entry, log + L"完成\r\n");
}

TEST(TextTest, FormatWideGivesEmptyTextForUnconvertibleNarrowArguments) {
    EXPECT_EQ(FormatWide(L"%s", "\xD6\xD0"), L"");
}

}  // namespace
}  // namespace veltra
