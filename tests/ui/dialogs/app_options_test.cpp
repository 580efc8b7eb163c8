// The command line of veltra, answered before the toolkit starts.

#include "ui/dialogs/app_options.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/version.h"

namespace veltra {
namespace {

struct Answer {
    std::optional<int> status;
    std::string out;
    std::string error;
    AppOptions options;
};

Answer AnswerTo(std::vector<std::string_view> args) {
    std::ostringstream out;
    std::ostringstream error;
    AppOptions options;
    const std::optional<int> status = AnswerCommandLine(args, out, error, options);
    return {status, out.str(), error.str(), options};
}

TEST(AppOptions, NoArgumentsStartTheDialogsAndPrintNothing) {
    const Answer answer = AnswerTo({});
    EXPECT_FALSE(answer.status.has_value());
    EXPECT_EQ(answer.out + answer.error, "");
    EXPECT_FALSE(answer.options.start_hidden);
}

TEST(AppOptions, HiddenStartsTheDialogsInTheTray) {
    const Answer answer = AnswerTo({"--hidden"});
    EXPECT_FALSE(answer.status.has_value());
    EXPECT_EQ(answer.out + answer.error, "");
    EXPECT_TRUE(answer.options.start_hidden);
    EXPECT_TRUE(AnswerTo({"--hidden", "--hidden"}).options.start_hidden) << "said twice, as once";

    EXPECT_EQ(AnswerTo({"--hidden", "--version"}).status, 0) << "the version answers all the same";
    EXPECT_NE(AnswerTo({"--help"}).out.find("--hidden"), std::string::npos);
    const Answer wrong = AnswerTo({"--hidden=yes"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.error.find("'--hidden=yes'"), std::string::npos) << wrong.error;
    EXPECT_FALSE(wrong.options.start_hidden);
    EXPECT_EQ(AnswerTo({"--hidden", "--file.txt"}).status, 2);
}

TEST(AppOptions, HelpAndVersionGoToStandardOutputAndSucceed) {
    const Answer help = AnswerTo({"--help", "--bogus"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: veltra ", 0), 0U) << help.out;
    EXPECT_NE(help.out.find("--version"), std::string::npos);
    EXPECT_EQ(help.error, "");
    EXPECT_EQ(AnswerTo({"-h"}).out, help.out);

    const Answer version = AnswerTo({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("veltra ") + kVersion + "\n");
    EXPECT_EQ(version.error, "");
}

TEST(AppOptions, AWrongArgumentGivesTheUsageOnStandardErrorAndStatusTwo) {
    for (const std::string_view arg : {"--display=:0", "--bogus", "--version=1"}) {
        const Answer answer = AnswerTo({arg, "--help"});
        EXPECT_EQ(answer.status, 2) << arg;
        EXPECT_EQ(answer.out, "") << arg;
        // Appended rather than "'" + ...: GCC 12 at -O3 flags that concatenation (-Wrestrict).
        std::string quoted = "'";
        quoted.append(arg).append("'");
        EXPECT_NE(answer.error.find(quoted), std::string::npos) << answer.error;
        EXPECT_NE(answer.error.find("Usage: veltra "), std::string::npos) << answer.error;
    }
}

TEST(AppOptions, FilesAreWhatTheFileManagerHandsOver) {
    AppOptions options;
    std::ostringstream out;
    std::ostringstream error;
    const std::vector<std::string_view> args{"/home/u/a.txt", "--hidden", "-", "--", "--b.txt"};
    EXPECT_EQ(AnswerCommandLine(args, out, error, options), std::nullopt) << error.str();
    EXPECT_EQ(options.files, (std::vector<std::string>{"/home/u/a.txt", "-", "--b.txt"}));
    EXPECT_TRUE(options.start_hidden);
    EXPECT_EQ(out.str() + error.str(), "");

    const Answer help = AnswerTo({"a.txt", "--help"});
    EXPECT_EQ(help.status, 0) << "a file before --help is no wrong argument";
    EXPECT_NE(help.out.find("FILE"), std::string::npos);
}

}  // namespace
}  // namespace veltra
