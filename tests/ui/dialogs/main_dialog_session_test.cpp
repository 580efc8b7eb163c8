// The main dialog over a real messenger session on 127.0.0.1, with a second messenger on
// 127.0.0.2 as the peer (both inside the test's own network namespace).

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/engine.h"
#include "engine/window_messages.h"
#include "event_pump.h"
#include "platform/socket.h"
#include "ui/dialogs/main_dialog.h"
#include "ui/session/messenger_session.h"

namespace veltra {
namespace {

// The peer's window: keeps the texts of the messages it receives.
class PeerWindow : public platform::MessageWindow {
  public:
    void PostMessage(platform::WindowMessage message) override {
        if (message.id != WM_MESSAGE_RECEIVED) {
            return;
        }
        const auto* payload = message.PayloadAs<MessageReceivedPayload>();
        if (payload == nullptr || !payload->packet) {
            return;
        }
        std::lock_guard lock(mutex_);
        texts_.emplace_back(payload->packet->Message());
        arrived_.notify_all();
    }

    std::vector<std::string> WaitForTexts(std::size_t count) {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(5), [&] { return texts_.size() >= count; });
        return texts_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> texts_;
};

TEST(MainDialogWithSession, PeerIsListedAndTextsTravelBothWays) {
    const std::uint32_t own_address = platform::InetAddr("127.0.0.1");
    const std::uint32_t peer_address = platform::InetAddr("127.0.0.2");
    Settings settings;
    Settings peer_settings;
    peer_settings.user_name = L"对方";
    peer_settings.broadcast_list = L"127.0.0.1";  // lo carries no broadcast

    MainDialogHooks hooks = DefaultMainDialogHooks();
    hooks.run_compose = [](CInputMsgDialog& compose) {
        testing::WhenModal(compose, [&compose] {
            compose.MessageEdit()->SetValue(L"你好\nthere");
            testing::ClickButton(compose, wxID_OK);
        });
        return compose.ShowModal();
    };
    CMainDialog dialog(settings, SessionBackendFactory(settings, own_address), hooks);
    ASSERT_FALSE(dialog.Start());

    PeerWindow peer_window;
    MessengerSession peer(peer_window, peer_settings, peer_address);

    ASSERT_TRUE(testing::PumpUntil([&] { return dialog.UserList()->GetItemCount() == 1; }));
    const std::wstring row = dialog.UserList()->GetItemText(0).ToStdWstring();
    EXPECT_TRUE(row.starts_with(L"对方 (127.0.0.2|")) << row;
    EXPECT_EQ(dialog.OnlineCount()->GetValue(), L"1");

    dialog.TapUserList(0);
    const std::vector<std::string> texts = peer_window.WaitForTexts(1);
    ASSERT_EQ(texts.size(), 1U);
    // The dialog hands over CR LF; the packet builder drops the CRs and the peer's parser puts
    // them back, so the text arrives as typed.
    EXPECT_EQ(texts[0], WideToAnsi(L"你好\r\nthere"));

    peer.SendText(own_address, L"回复");
    const std::wstring expected =
        L"对方 (127.0.0.2|" + AnsiToWide(peer.Engine().HostName()) + L"):\r\n 回复\r\n";
    ASSERT_TRUE(testing::PumpUntil([&] { return !dialog.Log()->IsEmpty(); }));
    EXPECT_EQ(dialog.Log()->GetValue().ToStdWstring(), expected);

    dialog.ShutdownMessenger();
    peer.Shutdown();
}

}  // namespace
}  // namespace veltra
