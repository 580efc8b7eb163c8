// Any bytes as an offer's extension: the parser stays inside them, and every entry it keeps is a
// file or a directory whose name fits the limit and holds no entry separator, and no ':' unless
// the extension held a "::" that stands for one.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/protocol.h"
#include "receiving/attachment_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    const std::string_view extension(reinterpret_cast<const char*>(data), size);
    const auto list = ParseAttachmentList(extension);
    if (!list) {
        return 0;
    }
    if (list->entries.empty()) {
        __builtin_trap();  // "nothing taken" must be reported as no list
    }
    const bool doubled_colons = extension.find("::") != std::string_view::npos;
    for (const AttachmentInfo& info : list->entries) {
        if ((info.Kind() != ATTR_FILE && info.Kind() != ATTR_DIR) ||
            info.name.size() > kMaxNameBytes || info.name.empty() ||
            info.name.find_first_of("?\a") != std::string::npos ||
            (!doubled_colons && info.name.find(':') != std::string::npos)) {
            __builtin_trap();
        }
    }
    return 0;
}
