#pragma once
// The one value of the device's registry that the program reads: the owner's name, "Owner" of the
// key "\ControlPanel\Owner". The host keeps no such value; it comes from the account instead.

#include <optional>
#include <string>

namespace veltra::platform {

// The owner value as stored, embedded NULs included; nothing when there is none. Unless a test
// set it, it is the account's full name (the first comma-separated field of its GECOS entry),
// else its login name, else $USER or $LOGNAME, read at first use; nothing when none of them is
// known. Any thread.
std::optional<std::wstring> ReadOwnerValue();

// For tests: the value ReadOwnerValue gives from now on (nothing: there is none), until
// ResetOwnerValue, which goes back to the account's.
void SetOwnerValue(std::optional<std::wstring> value);
void ResetOwnerValue();

}  // namespace veltra::platform
