#pragma once

#include <cstddef>
#include <string>

#include "platform/path.h"

namespace veltra {

// The rows the history keeps unless the user's file says otherwise.
inline constexpr std::size_t kDefaultHistoryRows = 100000;

// The values several parts of the program read. Fixed defaults apart from the user name, the
// broadcast list and the history's bound, which the front ends take from the user's file
// (settings_file.h) before the messenger starts; nothing changes them after that (the engine keeps
// the running values). Folders are device paths ending with a backslash, made (and so mapped to the
// home folder) with the settings; extension lists are lower-case, ';'-separated, without dots.
struct Settings {
    // Fills every field; the user name is read from the registry after the folders and extension
    // lists are set, and is "WMUSER" when the owner's name is empty.
    Settings();

    bool play_sound_on_receive = true;
    bool collect_all = true;
    platform::Path received_folder{L"\\Storage Card\\Received\\"};
    platform::Path music_folder{L"\\Storage Card\\Music\\"};
    platform::Path video_folder{L"\\Storage Card\\Video\\"};
    platform::Path ebook_folder{L"\\Storage Card\\Ebook\\"};
    platform::Path photo_folder{L"\\Storage Card\\Photo\\"};
    std::wstring music_extensions = L"mp3;lrc;wma;ape;cue;flac;ogg";
    std::wstring photo_extensions = L"jpg;png;gif;bmp";
    std::wstring ebook_extensions = L"txt";
    std::wstring video_extensions = L"avi;flv;rm;rmvb;mkv;mp4";
    std::wstring user_name;
    std::wstring broadcast_list;  // ';'-separated further hosts for the presence announcement
    std::size_t history_rows = kDefaultHistoryRows;  // the newest rows the history keeps
};

// The device owner's name: the registry value "Owner" of "\ControlPanel\Owner" (see
// platform/registry.h) up to its first NUL. Empty when there is none.
std::wstring OwnerName();

// The process-wide settings. Built on the first call, not during static initialisation, so that
// nothing depends on the order in which translation units start; call it once early in main() to
// read the registry before any other thread runs. Lives until the process exits.
Settings& ProcessSettings();

}  // namespace veltra
