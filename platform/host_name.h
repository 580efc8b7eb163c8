#pragma once

#include <string>

namespace veltra::platform {

// This machine's name as the system reports it (at most 1023 bytes); empty when it cannot be read.
std::string HostName();

}  // namespace veltra::platform
