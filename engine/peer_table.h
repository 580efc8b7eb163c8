#pragma once
// The peers that have announced themselves or answered, keyed by "user (address|host)". The
// receive thread writes it while the UI thread reads and clears it, so every access takes the
// table's lock, and the UI only ever sees copies: a row never points into the live table. One
// address can announce any number of invented users, so the table has bounds.

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/address_counts.h"
#include "engine/packet.h"

namespace veltra {

// Unsigned byte order: a GBK lead byte (0x81..0xFE) sorts after every ASCII byte, on every
// platform, whatever the signedness of char; a key that is a prefix of another sorts first.
struct PeerKeyLess {
    bool operator()(const std::string& left, const std::string& right) const;
};

// One entry of the table: its key (code page 936) and its record.
struct PeerEntry {
    std::string key;
    PeerRecord record;
};

// The key of the peer that sent record: "%s (%s|%s)" of user name, dotted address and host name.
std::string PeerKey(const PeerRecord& record);
// The same into key, whose room is reused: no allocation once it has grown to a key's length.
void WritePeerKey(const PeerRecord& record, std::string& key);
// The first five fields of a packet, as the table keeps them.
PeerRecord ToPeerRecord(const PacketRecord& packet);

struct PeerLimits {
    std::size_t per_source = 32;  // entries from one source address
    std::size_t total = 20000;
};

class PeerTable {
  public:
    explicit PeerTable(PeerLimits limits = {}) : limits_(limits), per_source_(limits.per_source) {}

    // Adds the entry or overwrites the one under the same key. A new entry is not stored when
    // its source address has per_source entries already, or the table holds total: false.
    bool Write(const std::string& key, const PeerRecord& record);
    // Removes the entry under key; false when there was none.
    bool Remove(const std::string& key);
    void Clear();

    // A copy of every entry in ascending key order.
    std::vector<PeerEntry> Snapshot() const;
    std::size_t Size() const;
    // Whether an entry came from address (network order).
    bool HasSource(std::uint32_t address) const;

  private:
    const PeerLimits limits_;
    mutable std::mutex mutex_;
    std::map<std::string, PeerRecord, PeerKeyLess> entries_;
    AddressCounts per_source_;
};

}  // namespace veltra
