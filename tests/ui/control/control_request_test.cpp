#include "ui/control/control_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/socket.h"
#include "ui/control/control_reply.h"
#include "ui/control/control_target.h"
#include "ui/presentation/peer_rows.h"

namespace veltra {
namespace {

std::string ErrorOf(const std::string& line) {
    const ControlRequestParse parse = ParseControlRequest(line);
    EXPECT_FALSE(parse.request) << line;
    return parse.error;
}

TEST(ControlRequestTest, EachCommandReadBack) {
    ControlRequest send;
    send.command = ControlCommand::kSend;
    send.target = "10.77.0.2";
    send.paths = {"/home/u/a b.txt", "/home/u/文件夹"};
    send.text = "files\r\nfor you";
    const ControlRequestParse parsed = ParseControlRequest(ControlRequestLine(send));
    ASSERT_TRUE(parsed.request) << parsed.error;
    EXPECT_EQ(parsed.request->command, ControlCommand::kSend);
    EXPECT_EQ(parsed.request->target, send.target);
    EXPECT_EQ(parsed.request->paths, send.paths);
    EXPECT_EQ(parsed.request->text, send.text);

    const ControlRequestParse message =
        ParseControlRequest(R"({"command":"message","target":"10.0.0.1","text":"你好"})");
    ASSERT_TRUE(message.request);
    EXPECT_EQ(message.request->command, ControlCommand::kMessage);
    EXPECT_EQ(message.request->text, "你好");

    for (const auto& [line, command] :
         {std::pair{R"({"command":"list"})", ControlCommand::kList},
          std::pair{R"({"command":"show"})", ControlCommand::kShow},
          std::pair{R"({"command":"compose","paths":["/a"]})", ControlCommand::kCompose}}) {
        const ControlRequestParse parse = ParseControlRequest(line);
        ASSERT_TRUE(parse.request) << line << ": " << parse.error;
        EXPECT_EQ(parse.request->command, command) << line;
    }
}

TEST(ControlRequestTest, WhatIsNotARequestIsNamed) {
    EXPECT_EQ(ErrorOf("send 10.0.0.1 /a"), "not JSON");
    EXPECT_EQ(ErrorOf(""), "not JSON");
    EXPECT_EQ(ErrorOf(R"({"command":"list"} trailing)"), "not JSON");
    EXPECT_EQ(ErrorOf(R"(["list"])"), "a request is a JSON object");
    EXPECT_EQ(ErrorOf(R"({})"), "no \"command\"");
    EXPECT_EQ(ErrorOf(R"({"command":7})"), "\"command\" is not a string");
    EXPECT_EQ(ErrorOf(R"({"command":"format"})"), "unknown command: format");
    EXPECT_EQ(ErrorOf(R"({"command":"send","paths":["/a"]})"), "send: no \"target\"");
    EXPECT_EQ(ErrorOf(R"({"command":"send","target":"h","paths":[]})"),
              "send: \"paths\" is not a list of paths");
    EXPECT_EQ(ErrorOf(R"({"command":"send","target":"h","paths":["/a",3]})"),
              "send: \"paths\" is not a list of paths");
    EXPECT_EQ(ErrorOf(R"({"command":"compose"})"), "compose: \"paths\" is not a list of paths");
    EXPECT_EQ(ErrorOf(R"({"command":"message","target":"h"})"), "message: no \"text\"");
    EXPECT_EQ(ErrorOf(R"({"command":"message","target":"h","text":["x"]})"),
              "\"text\" is not a string");
}

TEST(ControlReplyTest, EveryKindReadBackAsWritten) {
    ControlReply offered;
    offered.kind = ControlReply::Kind::kOffered;
    offered.to = "10.77.0.2";
    offered.path = "/home/u/tree/";
    offered.directory = true;
    offered.size = 0;
    const std::string line = ControlReplyLine(offered);
    EXPECT_EQ(line, R"({"event":"offered","to":"10.77.0.2","name":"tree","kind":"folder","size":0,)"
                    R"("path":"/home/u/tree/"})");
    const std::optional<ControlReply> back = ParseControlReply(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, ControlReply::Kind::kOffered);
    EXPECT_EQ(back->path, offered.path);
    EXPECT_TRUE(back->directory);

    ControlReply user;
    user.kind = ControlReply::Kind::kUser;
    user.user = "王伟";
    user.host = "hosta";
    user.address = "10.77.0.1";
    EXPECT_EQ(ControlReplyLine(user), R"({"user":"王伟","host":"hosta","address":"10.77.0.1"})");
    ASSERT_TRUE(ParseControlReply(ControlReplyLine(user)));
    EXPECT_EQ(ParseControlReply(ControlReplyLine(user))->kind, ControlReply::Kind::kUser);

    const std::optional<ControlReply> refused =
        ParseControlReply(ControlReplyLine(RefusedReply("unknown command: x", 2)));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->kind, ControlReply::Kind::kDone);
    EXPECT_EQ(refused->status, 2);
    EXPECT_EQ(refused->error, "unknown command: x");

    EXPECT_FALSE(ParseControlReply(R"({"event":"done"})")) << "an end without a status";
    EXPECT_FALSE(ParseControlReply(R"({"event":"party"})"));
    EXPECT_FALSE(ParseControlReply("not json"));
}

TEST(ControlTargetTest, ADottedAddressNamesItselfAnythingElseIsRefused) {
    const ControlTarget address = ResolveControlTarget("10.77.0.2", {});
    EXPECT_TRUE(address.error.empty());
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.address);
    EXPECT_EQ(bytes[0], 10);
    EXPECT_EQ(bytes[3], 2);
    for (const char* text : {"hosta", "10.77.0", "10.77.0.256", "10.77.0.2.", "1.2.3.04x", ""}) {
        EXPECT_FALSE(ResolveControlTarget(text, {}).error.empty()) << text;
    }
}

TEST(ControlTargetTest, ANameIsLookedUpInTheInstancesListAndSeveralAreRefusedWithTheirRows) {
    const std::uint32_t first = platform::InetAddr("10.77.0.1");
    const std::uint32_t second = platform::InetAddr("10.77.0.3");
    const std::vector<PeerRow> rows = {
        PeerRow{L"王伟 (10.77.0.1|hosta)", first, L"王伟", L"hosta"},
        PeerRow{L"李四 (10.77.0.2|hostb)", platform::InetAddr("10.77.0.2"), L"李四", L"hostb"},
        PeerRow{L"王伟 (10.77.0.3|hostc)", second, L"王伟", L"hostc"},
    };
    const ControlTarget by_host = ResolveControlTarget("hostc", rows);
    EXPECT_TRUE(by_host.error.empty());
    EXPECT_EQ(by_host.address, second);
    EXPECT_EQ(ResolveControlTarget("李四", rows).address, platform::InetAddr("10.77.0.2"));

    const ControlTarget shared = ResolveControlTarget("王伟", rows);
    EXPECT_NE(shared.error.find("王伟 (10.77.0.1|hosta)\n"), std::string::npos) << shared.error;
    EXPECT_NE(shared.error.find("王伟 (10.77.0.3|hostc)"), std::string::npos) << shared.error;
    const ControlTarget nobody = ResolveControlTarget("nobody", rows);
    EXPECT_EQ(nobody.error.rfind("no user or host named 'nobody'", 0), 0U) << nobody.error;
    EXPECT_NE(nobody.error.find("\n  李四 (10.77.0.2|hostb)"), std::string::npos) << nobody.error;
}

}  // namespace
}  // namespace veltra
