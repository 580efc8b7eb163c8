#include "ui/console/console_options.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/version.h"

namespace veltra {
namespace {

using Action = ConsoleOptions::Action;

ConsoleOptionsParse Parse(std::vector<std::string_view> args) {
    return ParseConsoleOptions(args);
}

Action ActionOf(std::vector<std::string_view> args) {
    const ConsoleOptionsParse parse = Parse(std::move(args));
    EXPECT_TRUE(parse.options.has_value()) << parse.error;
    return parse.options ? parse.options->action : Action::kRun;
}

std::string Refusal(std::vector<std::string_view> args) {
    const ConsoleOptionsParse parse = Parse(std::move(args));
    EXPECT_FALSE(parse.options.has_value());
    EXPECT_EQ(parse.error.find('\n'), std::string::npos) << "one line only";
    return parse.error;
}

TEST(ConsoleOptions, NoArgumentsRunsTheMessenger) {
    EXPECT_EQ(ActionOf({}), Action::kRun);
}

TEST(ConsoleOptions, TheFirstOfHelpAndVersionAnswersWhateverFollows) {
    EXPECT_EQ(ActionOf({"--help"}), Action::kHelp);
    EXPECT_EQ(ActionOf({"-h"}), Action::kHelp);
    EXPECT_EQ(ActionOf({"--version"}), Action::kVersion);
    EXPECT_EQ(ActionOf({"--version", "--help"}), Action::kVersion);
    EXPECT_EQ(ActionOf({"--help", "--no-such-option"}), Action::kHelp);
}

TEST(ConsoleOptions, AWrongArgumentIsNamedAndRefusesTheLine) {
    EXPECT_EQ(Refusal({"--hepl"}), "unrecognized option '--hepl'");
    EXPECT_EQ(Refusal({"-x"}), "unrecognized option '-x'");
    EXPECT_EQ(Refusal({"--help=all"}), "unrecognized option '--help=all'");
    EXPECT_EQ(Refusal({"users"}), "extra operand 'users'");
    EXPECT_EQ(Refusal({"-"}), "extra operand '-'");
    // Read in order: what comes before --help is refused first.
    EXPECT_EQ(Refusal({"--verbose", "--help"}), "unrecognized option '--verbose'");
}

TEST(ConsoleOptions, HelpNamesEveryCommandAndOption) {
    const std::string help = ConsoleHelp();
    EXPECT_EQ(help.rfind(ConsoleUsage(), 0), 0U) << "starts with the synopsis";
    for (const char* word : {"users", "msg IPV4 TEXT", "offer IPV4 PATH...", "refresh", "quit",
                             "--help", "--version", "~/Received/"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(help.back(), '\n');
}

TEST(ConsoleOptions, VersionIsTheProjectsInGnuForm) {
    unsigned major = 0, minor = 0, patch = 0;
    char rest = 0;
    EXPECT_EQ(std::sscanf(kVersion, "%u.%u.%u%c", &major, &minor, &patch, &rest), 3) << kVersion;
    EXPECT_EQ(ConsoleVersion(), std::string("veltra-console ") + kVersion + "\n");
}

}  // namespace
}  // namespace veltra
