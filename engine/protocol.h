#pragma once
// Command numbers, option bits and attachment kinds of the messenger protocol. Every other file
// uses these names; no number of the protocol is written anywhere else.

#include <cstdint>

namespace veltra {

inline constexpr std::uint16_t MSG_PORT = 2425;
inline constexpr int PACKET_VERSION = 1;
// Largest packet, NULs included; datagrams, requests and receive buffers are this big.
inline constexpr int MAX_PACKET = 16384;
// Name fields of a packet record hold 49 bytes of text and a NUL.
inline constexpr int NAME_FIELD_SIZE = 50;

// Command numbers (bits 0-7 of the command word).
inline constexpr std::uint32_t CMD_NOP = 0x00;
inline constexpr std::uint32_t CMD_ANNOUNCE = 0x01;
inline constexpr std::uint32_t CMD_DEPART = 0x02;
inline constexpr std::uint32_t CMD_ANNOUNCE_REPLY = 0x03;
inline constexpr std::uint32_t CMD_MESSAGE = 0x20;
inline constexpr std::uint32_t CMD_MESSAGE_ACK = 0x21;
inline constexpr std::uint32_t CMD_FETCH_FILE = 0x60;
inline constexpr std::uint32_t CMD_FETCH_DIR = 0x62;

// Option bits (bits 8-31).
inline constexpr std::uint32_t OPT_WANT_ACK = 0x00000100;
inline constexpr std::uint32_t OPT_SKIP = 0x00004000;
inline constexpr std::uint32_t OPT_ATTACHMENTS = 0x00200000;
inline constexpr std::uint32_t OPT_PRESENCE_MARK = 0x01000000;

inline constexpr std::uint32_t COMMAND_NUMBER_MASK = 0xFF;
inline constexpr std::uint32_t PRESENCE_MARK_MASK = 0xFF000000;

// Kinds of an attachment entry or directory-stream header.
inline constexpr std::uint32_t ATTR_FILE = 1;
inline constexpr std::uint32_t ATTR_DIR = 2;
inline constexpr std::uint32_t ATTR_UP = 3;

inline constexpr std::uint32_t CommandNumber(std::int32_t command_word) {
    return static_cast<std::uint32_t>(command_word) & COMMAND_NUMBER_MASK;
}

}  // namespace veltra
