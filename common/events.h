#pragma once
// What the worker threads tell a front end: one small struct per kind of event, each a copy owned
// by the event, so that a handler never reads a record the posting thread may already have freed
// or changed. They hold no engine type, so the front ends see them without seeing the engine.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/path.h"

namespace veltra {

// The peer table has changed since the front end last took it. It carries no table: the handler
// takes the latest copy (MessengerSession::TakePeers). Only one is pending at a time, so a burst
// of announcements costs a few rebuilds, not one per datagram, and each rebuild shows the table as
// it is when the handler runs.
struct PeersChanged {};

// A text message and its sender; names and text in code page 936, as sent.
struct MessageReceived {
    std::string user_name;
    std::string host_name;
    std::uint32_t source_address = 0;  // network order
    std::string text;
};

// How the reception of one offered entry ended: stored whole, or why not.
enum class FileOutcome : std::uint8_t {
    kStored,          // every byte arrived and was written under the name
    kConnectionLost,  // the peer closed, reset or fell silent before every byte had arrived
    kUnreachable,     // no connection to the peer could be made
    kDiskFull,        // no room left (or the quota reached)
    kCannotCreate,    // the file (or the folder it goes in) could not be created or put in place
    kWriteFailed,     // writing failed for another reason
    kNameRefused,     // the name cannot be stored (too long, or "." or "..")
    kPathTooLong,     // the path is too long or the folder nested too deep
    kNotServed,       // the peer closed the connection in order before the first byte of the
                      // file's content (or of the directory's first header): it no longer
                      // serves the entry, as for a file deleted after it was offered. An empty
                      // file cannot tell, and is stored.
    kCancelled,       // the user ended the batch: the entry being received when it ended, and
                      // each entry after it, which is not fetched
};

// How one entry that an offer listed ended as a whole (a file, or a folder with everything in
// it): what a record of the batch keeps once its per-file lines are gone.
struct EntryEnded {
    std::string name{};  // code page 936, as offered
    bool folder = false;
    std::uint64_t size = 0;      // as offered; 0 for a folder
    std::uint64_t received = 0;  // bytes that arrived (for a folder, those of all its files)
    FileOutcome outcome = FileOutcome::kStored;
    // Where it was stored, also in part: a file under the name it took, a folder as made.
    std::optional<platform::Path> stored{};
};

// A batch has ended; count of its files were stored whole, and failed of its entries (files, or
// folders of a directory stream) were not, each told by a FileDone. The sender and every entry
// of the offer as it ended come along, so that whoever keeps a record needs nothing else.
struct FilesReceived {
    int count = 0;
    int failed = 0;
    std::string user_name{};  // code page 936
    std::string host_name{};
    std::uint32_t source_address = 0;  // network order
    std::vector<EntryEnded> entries{};
};

// A batch of offered files is about to be received, from this sender (names in code page 936).
struct BatchStarted {
    std::string user_name;
    std::uint32_t source_address = 0;  // network order
};

// An entry of an offer is being received; its name in code page 936.
struct FileStarted {
    std::string name;
    std::uint64_t size = 0;
};

// Bytes of the file being received so far.
struct FileProgress {
    std::uint64_t received = 0;
};

// The entry has ended, with the bytes that arrived and how it ended.
struct FileDone {
    std::string name;
    std::uint64_t size = 0;
    std::uint64_t received = 0;
    FileOutcome outcome = FileOutcome::kStored;
};

// One line for the log that no other event stands for (an offer dropped, a thread that could not
// start), without its line end.
struct LogNotice {
    std::wstring text;
};

// The transfer server has served a request for one offered entry, which has now left the offer
// table: each entry listed in an offer is reported at most once, by its file id. whole says that
// every byte went out and the connection held; it cannot say that the peer stored them. Posted by
// the connection thread.
struct OfferServed {
    std::int32_t file_id = 0;
    std::uint32_t peer_address = 0;  // network order
    std::string name;                // code page 936: the last part of the offered path
    bool directory = false;
    bool whole = false;
};

using Event = std::variant<PeersChanged, MessageReceived, FilesReceived, BatchStarted, FileStarted,
                           FileProgress, FileDone, LogNotice, OfferServed>;

}  // namespace veltra
