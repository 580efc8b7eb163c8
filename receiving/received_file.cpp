#include "receiving/received_file.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <system_error>

#include "receiving/placement.h"

namespace veltra {

namespace {

// Numbers tried for one name before giving up: far beyond any real folder.
constexpr unsigned kMaxNumber = 1000000;

// What the batch remembers of the file name in folder: the folder's path (hashed once, when the
// folder was opened) and the name hashed apart and mixed, so that no path is built for a file.
std::size_t PathKey(const platform::Folder& folder, std::wstring_view name) {
    const std::size_t folder_hash = folder.PathHash();
    const std::size_t name_hash = std::hash<std::wstring_view>{}(name);
    return folder_hash ^
           (name_hash + 0x9E3779B97F4A7C15ULL + (folder_hash << 6) + (folder_hash >> 2));
}

}  // namespace

ReceivedFile::ReceivedFile(DownloadContext& context, const platform::Folder& folder,
                           std::wstring_view offered)
    : context_(context), folder_(folder), offered_(offered), file_(folder) {}

std::wstring ReceivedFile::Store() {
    const std::size_t offered_key = PathKey(folder_, offered_);
    if (!context_.stored_paths.Contains(offered_key)) {
        file_.PlaceOver(offered_);
        context_.stored_paths.Insert(offered_key);
        return offered_;
    }
    // Many files of one name cost no more than files of different names: the search goes on from
    // where the last one ended.
    unsigned& next = context_.next_numbers[offered_key];
    for (unsigned number = std::max(next, 2u); number <= kMaxNumber; ++number) {
        std::wstring name = NameVariant(offered_, number);
        const std::size_t key = PathKey(folder_, name);
        if (!context_.stored_paths.Contains(key) && file_.PlaceIfFree(name)) {
            next = number + 1;
            context_.stored_paths.Insert(key);
            return name;
        }
    }
    throw std::system_error(EEXIST, std::generic_category(),
                            "no free numbered name in " + folder_.HostPath());
}

}  // namespace veltra
