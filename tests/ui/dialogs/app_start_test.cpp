// Start-up of the program's dialog: the messenger that cannot open its port.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "platform/socket.h"
#include "platform/utf8.h"
#include "ui/dialogs/dialog_texts.h"
#include "ui/dialogs/messenger_app.h"

namespace veltra {
namespace {

struct Shown {
    std::wstring text;
    std::wstring caption;
};

MainDialogHooks RecordingHooks(std::vector<Shown>& shown) {
    MainDialogHooks hooks = DefaultMainDialogHooks();
    hooks.show_message = [&shown](wxWindow*, const std::wstring& text,
                                  const std::wstring& caption) {
        shown.push_back({text, caption});
    };
    hooks.run_compose = [](CInputMsgDialog&) -> int {
        ADD_FAILURE() << "no compose dialog expected";
        return wxID_CANCEL;
    };
    return hooks;
}

TEST(AppStart, PortTakenSaysSoAndEndsWithFailureWithoutShowingTheDialog) {
    // This process holds UDP port 2425 of the test's own namespace.
    platform::Socket holder = platform::Socket::Udp();
    ASSERT_TRUE(holder.Bind(platform::MakeEndpoint(platform::InetAddr("127.0.0.1"), 2425)));

    const Settings settings;
    std::vector<Shown> shown;
    EXPECT_EQ(RunMainDialog(settings, platform::InetAddr("127.0.0.1"), RecordingHooks(shown)), 1);
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_EQ(shown[0].caption, L"Veltra（riZ5）");
    EXPECT_NE(shown[0].text.find(L"2425"), std::wstring::npos);
    EXPECT_NE(shown[0].text.find(L"已被占用"), std::wstring::npos);
    EXPECT_NE(shown[0].text.find(L"cannot bind UDP port 2425"), std::wstring::npos);
}

TEST(AppStart, OtherStartFailuresNameTheStepAndItsCause) {
    const std::system_error error(EACCES, std::generic_category(), "cannot bind UDP port 2425");
    const std::wstring text = EngineStartFailedText(error);
    EXPECT_NE(text.find(L"cannot bind UDP port 2425: " +
                        platform::Utf8ToWide(std::generic_category().message(EACCES))),
              std::wstring::npos)
        << platform::WideToUtf8(text);
    EXPECT_EQ(text.find(L"已被占用"), std::wstring::npos);
}

}  // namespace
}  // namespace veltra
