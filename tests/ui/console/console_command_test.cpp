#include "ui/console/console_command.h"

#include <gtest/gtest.h>

#include "platform/socket.h"

namespace veltra {
namespace {

using Outcome = ConsoleParse::Outcome;

ConsoleCommand Parsed(std::wstring_view line) {
    ConsoleParse parse = ParseConsoleCommand(line);
    EXPECT_EQ(parse.outcome, Outcome::kCommand) << parse.error;
    return parse.command;
}

std::string ErrorOf(std::wstring_view line) {
    const ConsoleParse parse = ParseConsoleCommand(line);
    EXPECT_EQ(parse.outcome, Outcome::kError);
    EXPECT_EQ(parse.error.find('\n'), std::string::npos) << "one line only";
    EXPECT_FALSE(parse.error.empty());
    return parse.error;
}

TEST(ConsoleCommand, WordsWithoutArguments) {
    EXPECT_EQ(Parsed(L"users").kind, ConsoleCommandKind::kUsers);
    EXPECT_EQ(Parsed(L"  refresh\r").kind, ConsoleCommandKind::kRefresh);
    EXPECT_EQ(Parsed(L"quit  ").kind, ConsoleCommandKind::kQuit);
    EXPECT_EQ(Parsed(L"cancel").kind, ConsoleCommandKind::kCancel);
    EXPECT_EQ(Parsed(L"help").kind, ConsoleCommandKind::kHelp);
    ErrorOf(L"help me");
    ErrorOf(L"users all");
    ErrorOf(L"cancel all");
    ErrorOf(L"quit now");
    ErrorOf(L"Users");
    ErrorOf(L"send 10.0.0.1 hi");
    EXPECT_EQ(ParseConsoleCommand(L"").outcome, Outcome::kBlank);
    EXPECT_EQ(ParseConsoleCommand(L" \t\r").outcome, Outcome::kBlank);
}

TEST(ConsoleCommand, HistoryTakesANumberOfRowsOrClear) {
    EXPECT_EQ(Parsed(L"history").kind, ConsoleCommandKind::kHistory);
    EXPECT_EQ(Parsed(L"history").rows, 20U);
    EXPECT_EQ(Parsed(L" history  5 \r").rows, 5U);
    EXPECT_EQ(Parsed(L"history 1000000").rows, 1000000U);
    EXPECT_EQ(Parsed(L"history --clear").kind, ConsoleCommandKind::kClearHistory);
    EXPECT_NE(ErrorOf(L"history 0").find("history: "), std::string::npos);
    ErrorOf(L"history 1000001");
    ErrorOf(L"history -3");
    ErrorOf(L"history 0x10");
    ErrorOf(L"history five");
    ErrorOf(L"history 5 6");
    ErrorOf(L"history --clear 5");
    ErrorOf(L"history --all");
}

TEST(ConsoleCommand, MessageTakesTheRestOfTheLine) {
    ConsoleCommand command = Parsed(L"msg 10.77.0.2 hello:  world ");
    EXPECT_EQ(command.kind, ConsoleCommandKind::kMessage);
    EXPECT_EQ(command.address, platform::InetAddr("10.77.0.2"));
    EXPECT_EQ(command.text, L"hello:  world ");
    // The two characters \n are a line break, as the dialog's edit makes it.
    EXPECT_EQ(Parsed(L"msg 10.77.0.2 a\\nb\\n").text, L"a\r\nb\r\n");
    EXPECT_EQ(Parsed(L"msg 10.77.0.2 back\\slash").text, L"back\\slash");
    EXPECT_EQ(Parsed(L"msg\t127.0.0.1\t你好\r").text, L"你好");
    ErrorOf(L"msg 10.77.0.2");
    ErrorOf(L"msg 10.77.0.2   ");
    ErrorOf(L"msg");
}

TEST(ConsoleCommand, ATargetIsAnAddressOrAName) {
    const std::string error = ErrorOf(L"msg 10.77.0.300 hi");
    EXPECT_EQ(error, "msg: not an IPv4 address: 10.77.0.300");
    ErrorOf(L"offer 1.2.3 /tmp/a");
    // Anything else is a name, looked up when the command runs; the address stays unset.
    ConsoleCommand command = Parsed(L"offer localhost /tmp/a");
    EXPECT_EQ(command.target, L"localhost");
    EXPECT_EQ(command.address, 0U);
    EXPECT_EQ(command.paths, std::vector<std::wstring>{L"/tmp/a"});
    command = Parsed(L"msg 王伟 你好");
    EXPECT_EQ(command.target, L"王伟");
    EXPECT_EQ(command.text, L"你好");
    EXPECT_EQ(Parsed(L"msg 10.77.0.2 hi").target, L"");
    // A name with blanks, or a whole row of the list, goes in double quotes.
    command = Parsed(L"msg \"Wang Wei (10.0.0.5|pc 2)\"  hi there");
    EXPECT_EQ(command.target, L"Wang Wei (10.0.0.5|pc 2)");
    EXPECT_EQ(command.text, L"hi there");
    EXPECT_EQ(Parsed(L"offer \"a b\" \"/tmp/c d\"").paths, std::vector<std::wstring>{L"/tmp/c d"});
    EXPECT_EQ(ErrorOf(L"msg \"Wang Wei hi"),
              "msg: a name in quotes needs its closing quote, then a blank");
    ErrorOf(L"msg \"\" hi");
    ErrorOf(L"msg \"Wang\"Wei hi");
    EXPECT_EQ(ErrorOf(L"offer   "), "offer: missing address or name");
    ErrorOf(L"msg \"Wang Wei\"");
}

TEST(ConsoleCommand, OfferSplitsPathsAndHonoursQuotes) {
    ConsoleCommand command = Parsed(L"offer 10.77.0.2 /tmp/a \"/tmp/with space/b\"  c.txt");
    EXPECT_EQ(command.kind, ConsoleCommandKind::kOffer);
    EXPECT_EQ(command.address, platform::InetAddr("10.77.0.2"));
    EXPECT_EQ(command.paths,
              (std::vector<std::wstring>{L"/tmp/a", L"/tmp/with space/b", L"c.txt"}));
    EXPECT_EQ(Parsed(L"offer 10.77.0.2 \"\\Storage Card\\文件\"").paths,
              (std::vector<std::wstring>{L"\\Storage Card\\文件"}));
    ErrorOf(L"offer 10.77.0.2");
    ErrorOf(L"offer 10.77.0.2 \"/tmp/open");
    ErrorOf(L"offer 10.77.0.2 \"\"");
    ErrorOf(L"offer 10.77.0.2 \"/tmp/a\"b");
    ErrorOf(L"offer 10.77.0.2 /tmp/a\"b\"");
}

}  // namespace
}  // namespace veltra
