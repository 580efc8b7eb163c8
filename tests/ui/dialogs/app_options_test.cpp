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
};

Answer AnswerTo(std::vector<std::string_view> args) {
    std::ostringstream out;
    std::ostringstream error;
    const std::optional<int> status = AnswerCommandLine(args, out, error);
    return {status, out.str(), error.str()};
}

TEST(AppOptions, NoArgumentsStartTheDialogsAndPrintNothing) {
    const Answer answer = AnswerTo({});
    EXPECT_FALSE(answer.status.has_value());
    EXPECT_EQ(answer.out + answer.error, "");
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
    for (const std::string_view arg : {"--display=:0", "file.txt", "--bogus", "--version=1"}) {
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

}  // namespace
}  // namespace veltra
