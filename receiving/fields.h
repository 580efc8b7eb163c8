#pragma once
// Text rules shared by the attachment list and the directory-stream headers: both are
// ':'-separated fields in which "::" stands for ';' and a run of ':' separates only once.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltra {

// Every "::" becomes ";", scanning from the left (so ":::" gives ";:").
std::string ReplaceDoubleColons(std::string_view text);

// The non-empty pieces of text between runs of separator; leading and trailing separators give
// no empty piece.
std::vector<std::string_view> SplitFields(std::string_view text, char separator);

// Hexadecimal digits (either case) from the start of text into 64 bits, stopping at the first
// other character; no digits gives 0.
std::uint64_t ParseHex64(std::string_view text);

// The C library's base-16 conversion (leading blanks, sign and "0x" allowed), cut to 32 bits.
std::uint32_t ParseHex32(std::string_view text);

// Every '?' becomes '_': the sender's code page could not represent that character.
void ReplaceQuestionMarks(std::string& name);

}  // namespace veltra
