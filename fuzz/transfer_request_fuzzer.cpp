// Any bytes as the first receive of an accepted connection: a request is taken only with the
// exact fetch commands, and nothing past the request limit is looked at (the input is cut off
// there, so AddressSanitizer catches any read beyond it).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/protocol.h"
#include "serving/transfer_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    if (size > kMaxRequestLength) {
        return 0;  // a single receive never hands over more
    }
    const auto request =
        ParseTransferRequest(std::string_view(reinterpret_cast<const char*>(data), size));
    if (request && request->command != CMD_FETCH_FILE && request->command != CMD_FETCH_DIR) {
        __builtin_trap();
    }
    return 0;
}
