#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/utf8.h"

namespace veltra::platform {
namespace {

std::string Gbk(std::initializer_list<unsigned char> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST(CodePageTest, KnownCharactersHaveTheirGbkBytes) {
    EXPECT_EQ(ConvertToCodePage(L"中", kAnsiCodePage), Gbk({0xD6, 0xD0}));
    EXPECT_EQ(ConvertToCodePage(L"a中b", kAnsiCodePage), Gbk({'a', 0xD6, 0xD0, 'b'}));
    EXPECT_EQ(ConvertFromCodePage(Gbk({0xD6, 0xD0, 0xCE, 0xC4}), kAnsiCodePage), L"中文");
    // The full-width parentheses of the window title.
    EXPECT_EQ(ConvertToCodePage(L"（）", kAnsiCodePage), Gbk({0xA3, 0xA8, 0xA3, 0xA9}));
}

TEST(CodePageTest, ChineseAndAsciiRoundTrip) {
    for (const std::wstring text : {L"在线人数", L"开始接收文件", L"已成功创建目录:%s\n",
                                    L"plain ASCII 0123 ~!@#", L"混合 text 和 数字 42"}) {
        const std::string bytes = ConvertToCodePage(text, kAnsiCodePage);
        EXPECT_EQ(ConvertFromCodePage(bytes, kAnsiCodePage), text);
    }
    EXPECT_EQ(ConvertToCodePage(L"hello", kAnsiCodePage), "hello");
    EXPECT_EQ(ConvertToCodePage(L"在线人数", kAnsiCodePage).size(), 8u);
}

// A listed name goes to the wire by the one rule that wide text does: whatever the fast way for
// plain ASCII, the result is the result of the way through wide text.
TEST(CodePageTest, HostNamesFollowTheRuleOfWideText) {
    const auto through_wide = [](std::string_view name) {
        return ConvertToCodePage(Utf8ToWide(name), kAnsiCodePage);
    };
    std::string ascii;
    for (int c = 0; c < 0x80; ++c) {
        ascii += static_cast<char>(c);
    }
    EXPECT_EQ(HostNameToWireCodePage(ascii), through_wide(ascii));
    EXPECT_EQ(HostNameToWireCodePage(ascii), ascii);
    EXPECT_EQ(HostNameToWireCodePage(""), "");
    EXPECT_EQ(HostNameToWireCodePage("a\xE4\xB8\xAD.txt"),
              Gbk({'a', 0xD6, 0xD0, '.', 't', 'x', 't'}));
    // A byte that is no UTF-8 and a sequence cut short: one '?' for each byte.
    EXPECT_EQ(HostNameToWireCodePage("bad\xFF.txt"), "bad?.txt");
    EXPECT_EQ(HostNameToWireCodePage("cut\xE4\xB8"), "cut??");
    // A character code page 936 lacks: one '?' for the character, not one for each byte.
    EXPECT_EQ(HostNameToWireCodePage("face\xF0\x9F\x98\x80!"), "face?!");
    for (const std::string name : {"bad\xFF.txt", "cut\xE4\xB8", "face\xF0\x9F\x98\x80!",
                                   "\xE7\x85\xA7\xE7\x89\x87.txt", "\xC3\xA9t\xC3\xA9"}) {
        EXPECT_EQ(HostNameToWireCodePage(name), through_wide(name)) << name;
    }
}

TEST(CodePageTest, EmptyAndEmbeddedNul) {
    EXPECT_EQ(ConvertToCodePage(L"", kAnsiCodePage), "");
    EXPECT_EQ(ConvertFromCodePage("", kAnsiCodePage), L"");
    const std::wstring wide(L"a\0中", 3);
    const std::string bytes = ConvertToCodePage(wide, kAnsiCodePage);
    EXPECT_EQ(bytes, Gbk({'a', 0, 0xD6, 0xD0}));
    EXPECT_EQ(ConvertFromCodePage(bytes, kAnsiCodePage), wide);
}

TEST(CodePageTest, UnrepresentableCharactersBecomeQuestionMarks) {
    // Hangul, an emoji and a lone surrogate value have no GBK form.
    EXPECT_EQ(ConvertToCodePage(L"a\uD55Cb", kAnsiCodePage), "a?b");
    EXPECT_EQ(ConvertToCodePage(L"\U0001F600中", kAnsiCodePage), Gbk({'?', 0xD6, 0xD0}));
    const std::wstring surrogate(1, static_cast<wchar_t>(0xD800));
    EXPECT_EQ(ConvertToCodePage(surrogate + L"x", kAnsiCodePage), "?x");
}

TEST(CodePageTest, InvalidMultiByteInputBecomesOneQuestionMarkPerBadByte) {
    // 0xFF is never a GBK byte; 0xD6 followed by a byte that cannot trail it loses only itself.
    EXPECT_EQ(ConvertFromCodePage(Gbk({'a', 0xFF, 'b'}), kAnsiCodePage), L"a?b");
    EXPECT_EQ(ConvertFromCodePage(Gbk({0xD6, '0'}), kAnsiCodePage), L"?0");
    // A lead byte cut off by the end of the text.
    EXPECT_EQ(ConvertFromCodePage(Gbk({0xD6, 0xD0, 0xD6}), kAnsiCodePage), L"中?");
    EXPECT_EQ(ConvertFromCodePage(Gbk({0xFF, 0xFF, 0xFF}), kAnsiCodePage), L"???");
}

TEST(CodePageTest, LongTextConvertsWhole) {
    std::wstring text;
    for (int i = 0; i < 5000; ++i) {
        text += i % 2 ? L"文" : L"x";
    }
    const std::string bytes = ConvertToCodePage(text, kAnsiCodePage);
    EXPECT_EQ(bytes.size(), 7500u);
    EXPECT_EQ(ConvertFromCodePage(bytes, kAnsiCodePage), text);
}

TEST(CodePageTest, OtherCodePagesAndUnknownOnes) {
    EXPECT_EQ(ConvertToCodePage(L"中", 65001), "\xE4\xB8\xAD");
    EXPECT_EQ(ConvertToCodePage(L"中", 0), Gbk({0xD6, 0xD0}));
    EXPECT_EQ(ConvertFromCodePage("\xE9", 1252), L"é");
    EXPECT_THROW(ConvertToCodePage(L"x", 12345), std::system_error);
    try {
        ConvertFromCodePage("x", 12345);
        ADD_FAILURE() << "an unknown code page converted";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), EINVAL);  // the cause travels with the error
        EXPECT_EQ(std::string(error.what()).rfind("cannot open the conversion from ", 0), 0U)
            << error.what();
    }
    // A failed open leaves no broken converter behind.
    EXPECT_THROW(ConvertToCodePage(L"x", 12345), std::system_error);
}

TEST(CodePageTest, ThreadsConvertAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            const std::wstring text = L"开始接收文件 " + std::to_wstring(t) + L" \uD55C";
            const std::wstring expected = L"开始接收文件 " + std::to_wstring(t) + L" ?";
            for (int i = 0; i < 2000; ++i) {
                const std::string bytes = ConvertToCodePage(text, kAnsiCodePage);
                if (ConvertFromCodePage(bytes, kAnsiCodePage) != expected) {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace veltra::platform
