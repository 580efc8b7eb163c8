#include "ui/console/console_options.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/version.h"
#include "ui/console/console_command.h"

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

TEST(ConsoleOptions, SendTakesAnAddressThePathsUpToTheNextOptionAndAText) {
    const ConsoleOptionsParse parse = Parse({"--json", "--send", "10.0.0.2", "a b.txt", "-dash",
                                             "目录", "--message", "hi\\nthere", "--linger", "5"});
    ASSERT_TRUE(parse.options) << parse.error;
    const ConsoleOptions& options = *parse.options;
    EXPECT_EQ(options.action, Action::kSend);
    EXPECT_EQ(options.address, *ParseIpv4(L"10.0.0.2"));
    EXPECT_EQ(options.paths, (std::vector<std::wstring>{L"a b.txt", L"-dash", L"目录"}));
    EXPECT_EQ(options.text, L"hi\r\nthere");
    EXPECT_EQ(options.linger, std::chrono::seconds(5));
    EXPECT_TRUE(options.json);
    // The text may come first, and a typed line break is one too.
    const ConsoleOptionsParse text_first = Parse({"--message", "1\n2", "--send", "1.2.3.4", "f"});
    ASSERT_TRUE(text_first.options) << text_first.error;
    EXPECT_EQ(text_first.options->text, L"1\r\n2");
    EXPECT_EQ(text_first.options->paths, std::vector<std::wstring>{L"f"});
}

TEST(ConsoleOptions, MessageAloneTakesAnAddressAndAText) {
    const ConsoleOptionsParse parse = Parse({"--message", "10.0.0.2", "你好"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->action, Action::kMessage);
    EXPECT_EQ(parse.options->text, L"你好");
    EXPECT_EQ(ActionOf({"--linger", "0", "--json"}), Action::kRun);
    EXPECT_EQ(Parse({}).options->linger, std::chrono::seconds(60));
}

TEST(ConsoleOptions, ATargetThatIsNoAddressIsAName) {
    ConsoleOptionsParse parse = Parse({"--send", "王伟", "f", "--message", "hi"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->action, Action::kSend);
    EXPECT_EQ(parse.options->target_name, L"王伟");
    EXPECT_EQ(parse.options->paths, std::vector<std::wstring>{L"f"});
    parse = Parse({"--message", "Wang Wei (10.0.0.5|pc2)", "hi"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->action, Action::kMessage);
    EXPECT_EQ(parse.options->target_name, L"Wang Wei (10.0.0.5|pc2)");
    EXPECT_EQ(parse.options->text, L"hi");
    // An address is no name to look up.
    parse = Parse({"--message", "10.0.0.2", "hi"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->target_name, L"");
    EXPECT_EQ(parse.options->address, *ParseIpv4(L"10.0.0.2"));
}

TEST(ConsoleOptions, ListTakesJsonAndAName) {
    const ConsoleOptionsParse parse = Parse({"--json", "--list", "--name", "me"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->action, Action::kList);
    EXPECT_TRUE(parse.options->json);
    EXPECT_EQ(ActionOf({"--list"}), Action::kList);
}

TEST(ConsoleOptions, OneShotMistakesAreRefused) {
    EXPECT_EQ(Refusal({"--send"}), "option '--send' needs an address or a name");
    EXPECT_EQ(Refusal({"--send", "10.0.0.2"}), "option '--send' needs at least one path");
    EXPECT_EQ(Refusal({"--send", "10.0.0.2", "--json"}), "option '--send' needs at least one path");
    EXPECT_EQ(Refusal({"--send", "10.0.0.256", "f"}), "not an IPv4 address: '10.0.0.256'");
    EXPECT_EQ(Refusal({"--message", "10.0.0.2"}), "option '--message' needs an address and a text");
    EXPECT_EQ(Refusal({"--message", "10.0.0.2", ""}),
              "option '--message' needs an address and a text");
    EXPECT_EQ(Refusal({"--message", "1.2.3", "text"}), "not an IPv4 address: '1.2.3'");
    EXPECT_EQ(Refusal({"--send", "1.2.3.4", "f", "--send", "1.2.3.5", "g"}),
              "only one of --send, --message TARGET TEXT and --list, once");
    EXPECT_EQ(Refusal({"--list", "--message", "bob", "hi"}),
              "only one of --send, --message TARGET TEXT and --list, once");
    Refusal({"--send", "bob", "f", "--list"});
    Refusal({"--list", "--list"});
    Refusal({"--list=yes"});
    Refusal({"--list", "--history"});
    Refusal({"--history", "--list"});
    EXPECT_EQ(Refusal({"--send", "1.2.3.4", "f", "--message", "a", "--message", "b"}),
              "option '--message' needs one text, once");
    for (const char* seconds : {"", "-1", "1.5", "soon", "86401", "99999999999"}) {
        EXPECT_EQ(Refusal({"--linger", seconds}).rfind("option '--linger' needs", 0), 0u)
            << seconds;
    }
    EXPECT_EQ(Refusal({"--linger"}).rfind("option '--linger' needs", 0), 0u);
    EXPECT_EQ(Refusal({"--json", "file"}), "extra operand 'file'");
}

TEST(ConsoleOptions, ValuesAreTakenWhateverTheyLookLike) {
    // The values an option takes may begin with dashes or hold what a parser might split.
    const ConsoleOptionsParse message = Parse({"--message", "10.0.0.2", "-x"});
    ASSERT_TRUE(message.options) << message.error;
    EXPECT_EQ(message.options->text, L"-x");
    const ConsoleOptionsParse option_text = Parse({"--message", "10.0.0.2", "--json"});
    ASSERT_TRUE(option_text.options) << option_text.error;
    EXPECT_EQ(option_text.options->text, L"--json");
    EXPECT_FALSE(option_text.options->json);
    const ConsoleOptionsParse paths =
        Parse({"--send", "10.0.0.2", "[a,b]", "--", "-h", "--message", "-1", "--json"});
    ASSERT_TRUE(paths.options) << paths.error;
    EXPECT_EQ(paths.options->paths, (std::vector<std::wstring>{L"[a,b]", L"--", L"-h"}));
    EXPECT_EQ(paths.options->text, L"-1");
    EXPECT_TRUE(paths.options->json);
    EXPECT_EQ(Refusal({"--send", "-dash", "f"}), "not an IPv4 address or a name: '-dash'");
}

TEST(ConsoleOptions, LingerIsDecimalAndOnlyFlagsTakeNoValue) {
    EXPECT_EQ(Parse({"--linger", "010"}).options->linger, std::chrono::seconds(10));
    EXPECT_EQ(Parse({"--linger", "86400"}).options->linger, std::chrono::seconds(86400));
    for (const char* seconds : {"0x10", "+5", " 5"}) {
        EXPECT_EQ(Refusal({"--linger", seconds}).rfind("option '--linger' needs", 0), 0u)
            << seconds;
    }
    EXPECT_EQ(Refusal({"--json=1"}), "unrecognized option '--json=1'");
    EXPECT_EQ(Refusal({"--version=2"}), "unrecognized option '--version=2'");
    EXPECT_EQ(Refusal({"--"}), "unrecognized option '--'");
    // The first mistake is the one named, wherever the library notices it.
    EXPECT_EQ(Refusal({"extra", "--linger", "soon"}), "extra operand 'extra'");
    EXPECT_EQ(Refusal({"-x", "--send", "1.2.3.4"}), "unrecognized option '-x'");
    EXPECT_EQ(Refusal({"--json", "file", "--message", "1.2.3.4"}), "extra operand 'file'");
}

TEST(ConsoleOptions, NameOverridesForOneRunAndMustFitTheWire) {
    const ConsoleOptionsParse parse = Parse({"--name", "王伟", "--json"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->name, L"王伟");
    EXPECT_EQ(parse.options->action, Action::kRun);
    const ConsoleOptionsParse with_message = Parse({"--message", "10.0.0.2", "hi", "--name=ab"});
    ASSERT_TRUE(with_message.options) << with_message.error;
    EXPECT_EQ(with_message.options->name, L"ab");
    EXPECT_FALSE(Parse({}).options->name);

    EXPECT_EQ(Refusal({"--name", "a:b"}), "option '--name': the name may not contain ':'");
    EXPECT_EQ(Refusal({"--name", std::string(25, 'x') + "王王王王王王王王王王王王王"}),
              "option '--name': the name is longer than 49 bytes of code page 936 (a Chinese "
              "character takes two)");
    EXPECT_EQ(Refusal({"--name", ""}), "option '--name' needs a name");
    EXPECT_EQ(Refusal({"--name"}), "option '--name' needs a name");
}

TEST(ConsoleOptions, HistoryTakesAnOptionalNumberOfRowsAndNoOneShot) {
    ConsoleOptionsParse parse = Parse({"--history"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->action, Action::kHistory);
    EXPECT_EQ(parse.options->history_rows, 20U);
    parse = Parse({"--history", "3", "--json"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->action, Action::kHistory);
    EXPECT_EQ(parse.options->history_rows, 3U);
    EXPECT_TRUE(parse.options->json);
    parse = Parse({"--json", "--history=7"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->history_rows, 7U);
    EXPECT_TRUE(parse.options->json);
    parse = Parse({"--history", "--json"});
    ASSERT_TRUE(parse.options) << parse.error;
    EXPECT_EQ(parse.options->history_rows, 20U);
    EXPECT_TRUE(parse.options->json);

    EXPECT_NE(Refusal({"--history", "0"}).find("--history"), std::string::npos);
    Refusal({"--history", "many"});
    Refusal({"--history", "2", "3"});
    Refusal({"--history", "--send", "10.0.0.1", "a"});
    Refusal({"--message", "10.0.0.1", "hi", "--history"});
}

TEST(ConsoleOptions, HelpNamesEveryCommandAndOption) {
    const std::string help = ConsoleHelp();
    EXPECT_EQ(help.rfind(ConsoleUsage(), 0), 0U) << "starts with the synopsis";
    for (const char* word : {"users",
                             "msg TARGET TEXT",
                             "offer TARGET PATH...",
                             "refresh",
                             "cancel",
                             "help",
                             "history [N]",
                             "history --clear",
                             "--history [N]",
                             "quit",
                             "--help",
                             "--version",
                             "~/Received/",
                             "--send TARGET PATH...",
                             "--message TEXT",
                             "--message TARGET TEXT",
                             "--list",
                             "（本机）",
                             "--linger SECONDS",
                             "--json",
                             "--name NAME",
                             "veltra.conf",
                             "broadcast = "}) {
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
