#include "ui/presentation/arrival_notice.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace veltra {
namespace {

TEST(ArrivalNotice, NothingWhileTheWindowIsActiveElseSenderAndFirstLine) {
    const MessageReceived message{WideToAnsi(L"张三"), "pc", 0, WideToAnsi(L"第一行\r\n第二行")};
    EXPECT_EQ(NoticeForMessage(message, true), std::nullopt);
    const std::optional<ArrivalNotice> notice = NoticeForMessage(message, false);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->title, L"张三");
    EXPECT_EQ(notice->body, L"第一行");
    EXPECT_EQ(NoticeForMessage({"bob", "pc", 0, "one line"}, false)->body, L"one line");
}

TEST(ArrivalNotice, FilesAreCountedAndABatchThatStoredNothingIsNoNews) {
    EXPECT_EQ(NoticeForFiles(L"bob", 3, true), std::nullopt);
    EXPECT_EQ(NoticeForFiles(L"bob", 0, false), std::nullopt);
    const std::optional<ArrivalNotice> notice = NoticeForFiles(L"bob", 3, false);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->title, L"bob");
    EXPECT_EQ(notice->body, L"收到3个文件");
}

TEST(ArrivalNotice, PeerTextInTheBodyIsTextNotMarkupAndTheTitleStaysPlain) {
    const MessageReceived message{"<b>&co</b>", "pc", 0,
                                  "<a href=\"http://x/\">see</a> <img src=\"http://x/p.png\"/> "
                                  "<b>bold</b> &amp; 1 > 0\r\n<i>second</i>"};
    const std::optional<ArrivalNotice> notice = NoticeForMessage(message, false);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->title, L"<b>&co</b>");
    EXPECT_EQ(notice->body,
              L"&lt;a href=\"http://x/\"&gt;see&lt;/a&gt; &lt;img src=\"http://x/p.png\"/&gt; "
              L"&lt;b&gt;bold&lt;/b&gt; &amp;amp; 1 &gt; 0");
}

TEST(ArrivalNotice, AFailureNamesItsEntryAndWhyWithTheNameAsText) {
    const FileDone failed{WideToAnsi(L"报告<b>.pdf"), 10, 4, FileOutcome::kDiskFull};
    EXPECT_EQ(NoticeForFailure(L"bob", failed, true), std::nullopt);
    EXPECT_EQ(NoticeForFailure(L"bob", {"a.txt", 1, 1, FileOutcome::kStored}, false), std::nullopt);
    const std::optional<ArrivalNotice> notice = NoticeForFailure(L"<bob>", failed, false);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->title, L"<bob>");
    EXPECT_EQ(notice->body, L"接收失败：报告&lt;b&gt;.pdf（磁盘已满）");
    EXPECT_EQ(NoticeForFailure(L"bob", {"d", 0, 0, FileOutcome::kConnectionLost}, false)->body,
              L"接收失败：d（连接中断）");
}

}  // namespace
}  // namespace veltra
