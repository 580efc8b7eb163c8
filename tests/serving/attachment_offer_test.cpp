#include "serving/attachment_offer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/settings.h"
#include "common/text.h"
#include "engine/engine.h"
#include "engine/protocol.h"
#include "platform/file.h"
#include "serving/offer_table.h"
#include "serving/transfer_server.h"
#include "serving/wire_fields.h"
#include "tests/serving/serving_support.h"

namespace veltra {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::PathOf;
using testing::TempFolder;
using testing::WriteFile;

// The time field a path gets: the low 32 bits of its creation time, in hexadecimal.
std::string TimeOf(const fs::path& path) {
    const auto info = platform::QueryPath(platform::Path(path.wstring()));
    return info ? FormatAnsi("%x", static_cast<unsigned>(info->creation_time & 0xFFFFFFFFu))
                : "missing";
}

// The entries a list holds, in order.
std::vector<OfferedEntry> Listed(const AttachmentList& list) {
    std::vector<OfferedEntry> entries;
    for (const OfferResult& result : list.results) {
        if (result.entry) {
            entries.push_back(*result.entry);
        }
    }
    return entries;
}

TEST(OfferTable, IdsCountUpAndAreNeverReusedWhileHeld) {
    OfferTable offers;
    EXPECT_EQ(offers.RegisterOffer(platform::Path(L"a"), std::nullopt), 0);
    EXPECT_EQ(offers.RegisterOffer(platform::Path(L"b"), platform::FileIdentity{1, 2}, 0x0100007F),
              1);
    offers.Remove(0);
    EXPECT_EQ(offers.RegisterOffer(platform::Path(L"c"), std::nullopt), 2);
    EXPECT_FALSE(offers.Find(0));
    const auto b = offers.Find(1);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->path.Text(), L"b");
    EXPECT_EQ(b->examined, (platform::FileIdentity{1, 2}));
    EXPECT_EQ(b->recipient, 0x0100007Fu);
    EXPECT_FALSE(offers.Find(2)->recipient);
    offers.Remove(7);  // absent: nothing happens
    EXPECT_EQ(offers.Size(), 2u);
}

TEST(WireFields, SizeAndName) {
    EXPECT_EQ(SizeField(31), "01f");
    EXPECT_EQ(SizeField(0), "00");
    EXPECT_EQ(SizeField(5), "05");
    EXPECT_EQ(SizeField(0xFFFFFFFFull), "0ffffffff");
    EXPECT_EQ(SizeField((std::uint64_t{1} << 32) + 1), "100000001");
    EXPECT_EQ(SizeField(0xAB00000000ull), "ab00000000");

    // Which part is the name is the path's to say (path_test.cpp); here, how it goes out.
    const auto base_name = [](const wchar_t* path) { return WireBaseName(platform::Path(path)); };
    EXPECT_EQ(base_name(L"\\Storage Card\\照片"), "\xD5\xD5\xC6\xAC");
    // 乗 is 0x81 0x5C in code page 936: its second byte is a backslash, yet no separator.
    EXPECT_EQ(base_name(L"/tmp/乗.txt"), "\x81\x5C.txt");
    // A host file's own name, whatever it holds, as a folder's entries keep theirs.
    EXPECT_EQ(base_name(L"/home/wm/a\\b.txt"), "a\\b.txt");
}

// Receivers read "::" as ';' before they split the fields; a leading ':' cannot be doubled, as
// it would merge with the separator before it.
TEST(WireFields, ColonsInNamesAreWrittenSoThatTheyArriveAsSemicolons) {
    EXPECT_EQ(WireName("12:30 meeting.txt"), "12::30 meeting.txt");
    EXPECT_EQ(WireName("a::b:"), "a::::b::");
    EXPECT_EQ(WireName(":x"), ";x");
    EXPECT_EQ(WireName("\xD5\xD5:"), "\xD5\xD5::");
    platform::FileInfo info;
    info.size = 5;
    info.creation_time = 0x1234;
    EXPECT_EQ(AttachmentEntry(3, "at 10:00.txt", info), "3:at 10::00.txt:05:1234:1\a");
}

TEST(AttachmentList, TwoFilesGiveTwoEntriesBackToBack) {
    TempFolder temp;
    WriteFile(temp.path() / "a.txt", std::string(31, 'a'));
    WriteFile(temp.path() / "b.bin", "");
    OfferTable offers;
    const std::string list =
        BuildAttachmentList(offers, {PathOf(temp.path() / "a.txt"), PathOf(temp.path() / "b.bin")},
                            std::nullopt)
            .text;
    EXPECT_EQ(list, "0:a.txt:01f:" + TimeOf(temp.path() / "a.txt") + ":1\a" +  //
                        "1:b.bin:00:" + TimeOf(temp.path() / "b.bin") + ":1\a");
    EXPECT_EQ(offers.Size(), 2u);
    EXPECT_EQ(offers.Find(1)->path, PathOf(temp.path() / "b.bin"));
}

TEST(AttachmentList, PathThatCannotBeOpenedLeavesAGapButKeepsItsId) {
    TempFolder temp;
    WriteFile(temp.path() / "one", "1");
    WriteFile(temp.path() / "three", "333");
    OfferTable offers;
    const std::vector<platform::Path> paths = {
        PathOf(temp.path() / "one"), PathOf(temp.path() / "two"), PathOf(temp.path() / "three")};
    const AttachmentList list = BuildAttachmentList(offers, paths, std::nullopt);
    EXPECT_EQ(list.text, "0:one:01:" + TimeOf(temp.path() / "one") + ":1\a" +  //
                             "2:three:03:" + TimeOf(temp.path() / "three") + ":1\a");
    // Only what the peer can fetch is listed back to the one who offered it.
    ASSERT_EQ(Listed(list).size(), 2u);
    EXPECT_EQ(Listed(list)[0].file_id, 0);
    EXPECT_EQ(Listed(list)[1].file_id, 2);
    EXPECT_EQ(Listed(list)[1].path, paths[2]);
    EXPECT_EQ(Listed(list)[1].size, 3u);
    EXPECT_FALSE(Listed(list)[1].directory);
    ASSERT_EQ(list.results.size(), 3u);
    EXPECT_EQ(list.results[1].outcome, OfferOutcome::kCannotRead);
    EXPECT_EQ(list.results[1].path, paths[1]);
    ASSERT_TRUE(offers.Find(1));
    EXPECT_EQ(offers.Find(1)->path, paths[1]);
    // What was examined is what the entry serves; a path that could not be, serves nothing.
    EXPECT_EQ(offers.Find(0)->examined, testing::IdentityOf(temp.path() / "one"));
    EXPECT_TRUE(offers.Find(0)->examined);
    EXPECT_FALSE(offers.Find(1)->examined);
}

TEST(AttachmentList, AFileBeingSentCanBeOfferedToSomebodyElse) {
    TempFolder temp;
    WriteFile(temp.path() / "report.pdf", "pdf");
    // A fetch in progress holds the file exclusively.
    const auto being_sent = platform::File::OpenForRead(PathOf(temp.path() / "report.pdf"));
    ASSERT_TRUE(being_sent);
    OfferTable offers;
    const AttachmentList list =
        BuildAttachmentList(offers, {PathOf(temp.path() / "report.pdf")}, 0x0200007F);
    ASSERT_EQ(list.results.size(), 1u);
    EXPECT_EQ(list.results[0].outcome, OfferOutcome::kListed);
    EXPECT_EQ(offers.Find(0)->examined, testing::IdentityOf(temp.path() / "report.pdf"));
}

TEST(AttachmentList, DirectoriesTwiceOfferedPathsAndLargeFiles) {
    TempFolder temp;
    fs::create_directories(temp.path() / "album");
    WriteFile(temp.path() / "huge", "");
    fs::resize_file(temp.path() / "huge", (std::uint64_t{4} << 30) + 1);  // sparse, never read
    OfferTable offers;
    const platform::Path album = PathOf(temp.path() / "album");
    const AttachmentList listed =
        BuildAttachmentList(offers, {album, album, PathOf(temp.path() / "huge")}, 0x0200007F);
    ASSERT_EQ(Listed(listed).size(), 3u);
    EXPECT_TRUE(Listed(listed)[1].directory);
    EXPECT_EQ(Listed(listed)[2].size, (std::uint64_t{4} << 30) + 1);
    const std::string& list = listed.text;
    const std::string time = TimeOf(temp.path() / "album");
    EXPECT_EQ(list, "0:album:00:" + time + ":2\a1:album:00:" + time + ":2\a" +
                        "2:huge:100000001:" + TimeOf(temp.path() / "huge") + ":1\a");
    EXPECT_EQ(offers.Find(2)->recipient, 0x0200007Fu);
}

TEST(AttachmentList, KeepsTheWholeEntriesThatFit) {
    TempFolder temp;
    WriteFile(temp.path() / "f", "");
    WriteFile(temp.path() / "g", "");
    const std::string f = "0:f:00:" + TimeOf(temp.path() / "f") + ":1\a";
    OfferTable offers;
    const std::vector<platform::Path> paths = {PathOf(temp.path() / "f"), PathOf(temp.path() / "g"),
                                               PathOf(temp.path() / "f")};
    // Room for one entry and most of the next: the list ends after the first.
    const AttachmentList list = BuildAttachmentList(offers, paths, std::nullopt, f.size() * 2 - 1);
    EXPECT_EQ(list.text, f);
    ASSERT_EQ(Listed(list).size(), 1u);
    ASSERT_EQ(list.results.size(), 3u);
    EXPECT_EQ(list.results[1].outcome, OfferOutcome::kListFull);
    EXPECT_EQ(list.results[2].outcome, OfferOutcome::kListFull);
    EXPECT_EQ(offers.Size(), 3u);
    // Once the list is full, the paths after it are not even examined.
    EXPECT_FALSE(offers.Find(2)->examined);
}

// A peer at 127.0.0.2:2425 receiving what an engine on 127.0.0.1 sends.
class OfferTest : public ::testing::Test {
  protected:
    OfferTest() : peer_(platform::Socket::Udp()) {
        settings_.user_name = L"wm";
        peer_.Bind(platform::MakeEndpoint(kPeerAddress, MSG_PORT));
        peer_.SetReceiveTimeout(3000);
        engine_.emplace(settings_, testing::kServerAddress);
        server_.emplace(*engine_);
    }
    ~OfferTest() override { engine_->Shutdown(); }

    std::string Receive() {
        std::string buffer(MAX_PACKET + 1, '\0');
        platform::Endpoint source;
        const long length = peer_.ReceiveFrom(buffer.data(), MAX_PACKET, source);
        buffer.resize(length < 0 ? 0 : static_cast<std::size_t>(length));
        return buffer;
    }
    std::string Header(long number, std::uint32_t command) {
        return "1:" + std::to_string(number) + ":wm:" + engine_->HostName() + ":" +
               std::to_string(command) + ":";
    }
    static long NumberOf(const std::string& packet) {
        return std::stol(packet.substr(2, packet.find(':', 2) - 2));
    }

    const std::uint32_t kPeerAddress = platform::InetAddr("127.0.0.2");
    Settings settings_;
    platform::Socket peer_;
    std::optional<CMessengerEngine> engine_;
    std::optional<TransferServer> server_;
    TempFolder temp_;
};

TEST_F(OfferTest, NoOpThenTheOfferHalfASecondLater) {
    WriteFile(temp_.path() / "a.txt", std::string(31, 'a'));
    WriteFile(temp_.path() / "b.bin", "");
    SendWithAttachments(*engine_, server_->Offers(), kPeerAddress,
                        {PathOf(temp_.path() / "a.txt"), PathOf(temp_.path() / "b.bin")});
    const std::string nop = Receive();
    const auto nop_time = std::chrono::steady_clock::now();
    const std::string offer = Receive();
    const auto offer_time = std::chrono::steady_clock::now();
    ASSERT_FALSE(nop.empty());
    ASSERT_FALSE(offer.empty());
    EXPECT_EQ(nop, Header(NumberOf(nop), CMD_NOP) + std::string(1, '\0'));
    EXPECT_EQ(offer, Header(NumberOf(offer), 2097184) + std::string(1, '\0') +       //
                         "0:a.txt:01f:" + TimeOf(temp_.path() / "a.txt") + ":1\a" +  //
                         "1:b.bin:00:" + TimeOf(temp_.path() / "b.bin") + ":1\a" +
                         std::string(1, '\0'));
    EXPECT_GT(NumberOf(offer), NumberOf(nop));
    // Both datagrams had left when SendWithAttachments returned, so the gap between them
    // shows only on the sending side; the offer still came after the NOP.
    EXPECT_GE(offer_time, nop_time);

    // The offered entries are for 127.0.0.2 alone.
    EXPECT_EQ(testing::Fetch(testing::FileRequest("0"), "127.0.0.3"), "");
    EXPECT_EQ(testing::Fetch(testing::FileRequest("0"), "127.0.0.2"), std::string(31, 'a'));
}

TEST_F(OfferTest, TakesAtLeastThePause) {
    const auto start = std::chrono::steady_clock::now();
    SendWithAttachments(*engine_, server_->Offers(), kPeerAddress, {});
    EXPECT_GE(std::chrono::steady_clock::now() - start, kOfferPause);
    Receive();
    // Nothing could be offered: the offer still goes out, with an empty extension.
    const std::string offer = Receive();
    EXPECT_EQ(offer, Header(NumberOf(offer), 2097184) + std::string(2, '\0'));
}

TEST_F(OfferTest, ListTooLongForTheDatagramKeepsTheEntriesThatFit) {
    const std::string name(200, 'n');
    WriteFile(temp_.path() / name, "x");
    const std::vector<platform::Path> paths(100, PathOf(temp_.path() / name));
    SendWithAttachments(*engine_, server_->Offers(), kPeerAddress, paths);
    Receive();
    const std::string offer = Receive();
    ASSERT_LE(offer.size(), static_cast<std::size_t>(MAX_PACKET));
    const std::string head = Header(NumberOf(offer), 2097184) + std::string(1, '\0');
    ASSERT_EQ(offer.substr(0, head.size()), head);
    const std::string list = offer.substr(head.size(), offer.size() - head.size() - 1);
    EXPECT_EQ(offer.back(), '\0');
    ASSERT_FALSE(list.empty());  // the entries that fit, not an offer without its extension
    const std::string time = TimeOf(temp_.path() / name);
    std::string expected;
    for (int id = 0; expected.size() < list.size(); ++id) {
        expected += FormatAnsi("%x:", static_cast<unsigned>(id)) + name + ":01:" + time + ":1\a";
    }
    EXPECT_EQ(list, expected);
    const auto listed = static_cast<unsigned>(std::count(list.begin(), list.end(), '\a'));
    const std::string next = FormatAnsi("%x:", listed) + name + ":01:" + time + ":1\a";
    // The next entry would not have fitted: the builder needs a spare byte after the extension's
    // NUL, and the room is reckoned for the longest packet number (one digit more than here).
    EXPECT_GE(offer.size() + next.size(), static_cast<std::size_t>(MAX_PACKET - 1));
    EXPECT_LT(listed, 100u);
    EXPECT_EQ(server_->Offers().Size(), 100u);
}

}  // namespace
}  // namespace veltra
