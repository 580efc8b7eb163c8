// Any bytes as a name a sender chose: a name that is accepted becomes exactly one path component
// without control characters that the host can take (255 bytes at most, also with the largest
// number), and the file it names lies directly in the folder the placement rule chose,
// whatever the placement settings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/utf8.h"
#include "receiving/placement.h"

namespace {

void CheckPlaced(const veltra::Settings& settings, const std::wstring& name) {
    const veltra::platform::Path folder(veltra::FolderForName(settings, name));
    const std::string& host_folder = folder.Host();
    const std::string host_path = (folder / name).Host();
    // The folder's host path ends with its separator; the name adds one component below it.
    if (host_folder.empty() || host_folder.back() != '/' ||
        host_path.compare(0, host_folder.size(), host_folder) != 0 ||
        host_path.size() == host_folder.size() ||
        host_path.find('/', host_folder.size()) != std::string::npos) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    static const Settings collecting;
    static const Settings sorting = [] {
        Settings settings;
        settings.collect_all = false;
        return settings;
    }();
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const auto confined = ConfinedName(name);
    if (!confined) {
        return 0;
    }
    if (confined->empty() || *confined == L"." || *confined == L".." ||
        confined->find_first_of(std::wstring(L"/\\\0", 3)) != std::wstring::npos) {
        __builtin_trap();
    }
    for (const wchar_t c : *confined) {
        if (c < 0x20 || c == 0x7F) {
            __builtin_trap();
        }
    }
    for (const std::wstring& variant :
         {*confined, NameVariant(*confined, 2), NameVariant(*confined, 4294967295u)}) {
        if (platform::WideToUtf8(variant).size() > platform::kMaxHostNameBytes) {
            __builtin_trap();
        }
    }
    CheckPlaced(collecting, *confined);
    CheckPlaced(sorting, *confined);
    return 0;
}
