#pragma once
// Text fields that attachment entries and directory-stream headers share.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/path.h"

namespace veltra {

// A size as receivers read it: the high and the low 32 bits in lower-case hexadecimal, back to
// back ("01f" for 31 bytes, "00" for none). From 4 GiB on, the low half is padded to 8 digits so
// that the field reads as one hexadecimal number ("100000001" for 4 GiB + 1).
std::string SizeField(std::uint64_t size);
void AppendSizeField(std::string& out, std::uint64_t size);

// Lower-case hexadecimal, zero-padded to at least min_digits (printf's "%0Nx"), appended.
void AppendHex(std::string& out, std::uint64_t value, std::size_t min_digits = 1);

// A name as an attachment entry or a directory header carries it. A ':' would end the name's
// field, so each one is written "::", which a receiver stores as ':' where its host's names may
// hold one, else as ';'. A ':' that starts the name is written ';' straight away: doubled, it
// would merge with the separator in front of it.
std::string WireName(std::string_view name);
void AppendWireName(std::string& out, std::string_view name);

// The name a peer sees for a path: its file name (see Path) in the wire code page. The name is
// taken before the conversion, because a separator byte can be the second byte of a double-byte
// character.
std::string WireBaseName(const platform::Path& path);

}  // namespace veltra
