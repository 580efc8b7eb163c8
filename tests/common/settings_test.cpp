#include "common/settings.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "platform/registry.h"

namespace veltra {
namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetOwnerValue(std::nullopt); }
    void TearDown() override { platform::ResetOwnerValue(); }
};

TEST_F(SettingsTest, DefaultsAreTheFixedValues) {
    platform::SetOwnerValue(L"Alice");
    const Settings settings;
    EXPECT_TRUE(settings.play_sound_on_receive);
    EXPECT_TRUE(settings.collect_all);
    EXPECT_EQ(settings.received_folder.Text(), L"\\Storage Card\\Received\\");
    EXPECT_EQ(settings.music_folder.Text(), L"\\Storage Card\\Music\\");
    EXPECT_EQ(settings.video_folder.Text(), L"\\Storage Card\\Video\\");
    EXPECT_EQ(settings.ebook_folder.Text(), L"\\Storage Card\\Ebook\\");
    EXPECT_EQ(settings.photo_folder.Text(), L"\\Storage Card\\Photo\\");
    EXPECT_EQ(settings.music_extensions, L"mp3;lrc;wma;ape;cue;flac;ogg");
    EXPECT_EQ(settings.photo_extensions, L"jpg;png;gif;bmp");
    EXPECT_EQ(settings.ebook_extensions, L"txt");
    EXPECT_EQ(settings.video_extensions, L"avi;flv;rm;rmvb;mkv;mp4");
    EXPECT_EQ(settings.user_name, L"Alice");
    EXPECT_EQ(settings.broadcast_list, L"");
}

TEST_F(SettingsTest, NoOwnerGivesWmuser) {
    EXPECT_EQ(OwnerName(), L"");
    EXPECT_EQ(Settings().user_name, L"WMUSER");
}

TEST_F(SettingsTest, OwnerIsReadUpToItsFirstNul) {
    platform::SetOwnerValue(std::wstring(L"\0abc", 4));
    EXPECT_EQ(Settings().user_name, L"WMUSER");
    platform::SetOwnerValue(std::wstring(L"Bob\0junk", 8));
    EXPECT_EQ(Settings().user_name, L"Bob");
    platform::SetOwnerValue(L"");
    EXPECT_EQ(Settings().user_name, L"WMUSER");
}

TEST_F(SettingsTest, ChineseOwnerStaysWideAndReachesGbk) {
    platform::SetOwnerValue(L"张三");
    const Settings settings;
    EXPECT_EQ(settings.user_name, L"张三");
    EXPECT_EQ(WideToAnsi(settings.user_name), "\xD5\xC5\xC8\xFD");
}

TEST_F(SettingsTest, ProcessSettingsIsOneObjectReadOnce) {
    platform::SetOwnerValue(L"First");
    Settings& settings = ProcessSettings();
    platform::SetOwnerValue(L"Later");
    EXPECT_EQ(&ProcessSettings(), &settings);
    EXPECT_EQ(ProcessSettings().user_name, settings.user_name);
    EXPECT_NE(settings.user_name, L"Later");
}

}  // namespace
}  // namespace veltra
