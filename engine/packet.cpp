#include "engine/packet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace veltra {
namespace {

// The tokenizer of the header: leading separators are skipped, a run of separators counts as
// one, and the separator that ends a token is consumed with it (so a message that starts with a
// colon keeps that colon).
class HeaderTokenizer {
  public:
    explicit HeaderTokenizer(char* text) : position_(text) {}

    char* Next() {
        while (*position_ == ':') {
            ++position_;
        }
        if (*position_ == '\0') {
            return nullptr;
        }
        char* token = position_;
        while (*position_ != '\0' && *position_ != ':') {
            ++position_;
        }
        if (*position_ == ':') {
            *position_++ = '\0';
        }
        return token;
    }

    char* Rest() const { return position_; }

  private:
    char* position_;
};

// Length of the longest prefix of text that has at most limit bytes and ends on a character
// boundary of code page 936 (lead bytes 0x81-0xFE take a second byte).
std::size_t CharacterBoundary(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (text[length] != '\0') {
        auto byte = static_cast<unsigned char>(text[length]);
        std::size_t width = (byte >= 0x81 && byte <= 0xFE && text[length + 1] != '\0') ? 2 : 1;
        if (length + width > limit) {
            break;
        }
        length += width;
    }
    return length;
}

}  // namespace

void CopyNameField(char (&field)[NAME_FIELD_SIZE], const char* text) {
    std::size_t length = CharacterBoundary(text, NAME_FIELD_SIZE - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}

std::int32_t ParseDecimalField(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    // Unsigned arithmetic wraps instead of overflowing, and keeps the low 32 bits exact.
    std::uint64_t value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + static_cast<std::uint64_t>(*text - '0');
        ++text;
    }
    if (negative) {
        value = 0 - value;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

int WritePacket(char* buffer, std::int32_t packet_number, const char* user_name,
                const char* host_name, std::int32_t command, const char* message,
                const char* extension) {
    char user[NAME_FIELD_SIZE];
    char host[NAME_FIELD_SIZE];
    CopyNameField(user, user_name != nullptr ? user_name : "");
    CopyNameField(host, host_name != nullptr ? host_name : "");

    const int header =
        std::snprintf(buffer, MAX_PACKET, "%d:%ld:%s:%s:%ld:", PACKET_VERSION,
                      static_cast<long>(packet_number), user, host, static_cast<long>(command));
    int extension_size = extension != nullptr ? static_cast<int>(std::strlen(extension)) + 1 : 0;
    if (header + extension_size + 1 >= MAX_PACKET) {
        extension_size = 0;
    }

    int written = 0;
    if (message != nullptr) {
        // Copies the runs between carriage returns whole: a long message costs a few memcpy
        // calls rather than a test per byte.
        const int room = MAX_PACKET - header - extension_size - 1;
        const char* in = message;
        const char* end = message + strnlen(message, static_cast<std::size_t>(MAX_PACKET) * 2);
        char* out = buffer + header;
        while (in < end && written < room) {
            const char* cr =
                static_cast<const char*>(std::memchr(in, '\r', static_cast<std::size_t>(end - in)));
            const char* run_end = cr != nullptr ? cr : end;
            const int run = std::min(static_cast<int>(run_end - in), room - written);
            std::memcpy(out + written, in, static_cast<std::size_t>(run));
            written += run;
            in = run_end + (cr != nullptr ? 1 : 0);
        }
    }
    buffer[header + written] = '\0';
    int length = header + written + 1;
    if (extension_size != 0) {
        std::memcpy(buffer + length, extension, static_cast<std::size_t>(extension_size));
        length += extension_size;
    }
    return length;
}

bool ParsePacket(const RawDatagram& datagram, PacketRecord& record) {
    // Work on a copy: the tokenizer cuts the header up in place.
    static thread_local char header[MAX_PACKET + 1];
    const std::size_t text_length = strnlen(datagram.data, MAX_PACKET);
    std::memcpy(header, datagram.data, text_length);
    header[text_length] = '\0';

    const char* extension = nullptr;
    std::size_t extension_length = 0;
    if (datagram.byte_count > static_cast<int>(text_length) + 1) {
        extension = datagram.data + text_length + 1;
        extension_length = strnlen(extension, MAX_PACKET - text_length - 1);
    }

    record.source_address = datagram.source.address;
    record.source_port = datagram.source.port;

    HeaderTokenizer tokens(header);
    const char* version = tokens.Next();
    if (version == nullptr) {
        return false;
    }
    record.version = ParseDecimalField(version);
    if (record.version != PACKET_VERSION) {
        return false;
    }
    const char* number = tokens.Next();
    if (number == nullptr) {
        return false;
    }
    record.packet_number = ParseDecimalField(number);
    const char* user = tokens.Next();
    if (user == nullptr) {
        return false;
    }
    CopyNameField(record.user_name, user);
    const char* host = tokens.Next();
    if (host == nullptr) {
        return false;
    }
    CopyNameField(record.host_name, host);
    const char* command = tokens.Next();
    if (command == nullptr) {
        return false;
    }
    record.command = ParseDecimalField(command);

    // Received line feeds become CR LF, as the screen's edit controls expect. The runs between
    // line feeds are copied whole.
    constexpr int kTextLimit = MAX_PACKET - 1;
    int written = 0;
    const char* in = tokens.Rest();
    const char* end = header + text_length;
    while (in < end && written < kTextLimit) {
        const char* lf =
            static_cast<const char*>(std::memchr(in, '\n', static_cast<std::size_t>(end - in)));
        const char* run_end = lf != nullptr ? lf : end;
        const int run = std::min(static_cast<int>(run_end - in), kTextLimit - written);
        std::memcpy(record.text + written, in, static_cast<std::size_t>(run));
        written += run;
        if (lf == nullptr || written == kTextLimit) {
            break;
        }
        record.text[written++] = '\r';
        if (written == kTextLimit) {
            break;  // room for only the CR of the pair
        }
        record.text[written++] = '\n';
        in = lf + 1;
    }
    record.text[written] = '\0';
    record.extension_offset = written;

    if (extension != nullptr) {
        int offset = written + 1;
        const int needed = static_cast<int>(extension_length) + 1;
        if (offset + needed > MAX_PACKET) {
            offset = MAX_PACKET - needed;
            record.text[offset - 1] = '\0';
        }
        std::memcpy(record.text + offset, extension, extension_length);
        record.text[offset + static_cast<int>(extension_length)] = '\0';
        record.extension_offset = offset;
    }
    return true;
}

}  // namespace veltra
