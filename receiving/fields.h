#pragma once
// Text rules shared by the attachment list and the directory-stream headers: both are
// ':'-separated fields in which "::" stands for a ':' of the name, and a run of ':' separates only
// once.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace veltra {

// What a "::" of a received name is stored as: the ':' the sender wrote it for where the host's
// names may hold one, else ';'.
inline constexpr char kDoubledColonAs = platform::kNamesMayHoldColon ? ':' : ';';

// The fields of one attachment entry or directory header, split at every single ':'. Pairs are
// taken from the left: each "::" is one doubled_colon_as inside its field, so ":::" is that
// character and then a separator. Leading and trailing separators give no empty field. The
// fields are views into the text, which must outlive them, or (only when it held a "::") into a
// copy of it with the pairs unescaped.
class ColonFields {
  public:
    ColonFields(std::string_view text, char doubled_colon_as);
    // The fields are views into this object: it stays where it was made.
    ColonFields(const ColonFields&) = delete;
    ColonFields& operator=(const ColonFields&) = delete;

    std::size_t size() const { return fields_.size(); }
    std::string_view operator[](std::size_t index) const { return fields_[index]; }

  private:
    std::string unescaped_;
    std::vector<std::string_view> fields_;
};

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
