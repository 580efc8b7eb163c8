#include "engine/peer_table.h"

#include <algorithm>
#include <cstring>

#include "platform/socket.h"

namespace veltra {

bool PeerKeyLess::operator()(const std::string& left, const std::string& right) const {
    return std::lexicographical_compare(
        left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
            return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
        });
}

std::string PeerKey(const PeerRecord& record) {
    std::string key;
    WritePeerKey(record, key);
    return key;
}

void WritePeerKey(const PeerRecord& record, std::string& key) {
    // InetNtoa's text fits its short-string room: it allocates nothing.
    const std::string address = platform::InetNtoa(record.source_address);
    key.assign(record.user_name, strnlen(record.user_name, sizeof record.user_name));
    key += " (";
    key += address;
    key += '|';
    key.append(record.host_name, strnlen(record.host_name, sizeof record.host_name));
    key += ')';
}

PeerRecord ToPeerRecord(const PacketRecord& packet) {
    PeerRecord record{};
    std::memcpy(record.user_name, packet.user_name, sizeof record.user_name);
    std::memcpy(record.host_name, packet.host_name, sizeof record.host_name);
    record.source_address = packet.source_address;
    record.source_port = packet.source_port;
    record.presence_mark = packet.presence_mark;
    return record;
}

bool PeerTable::Write(const std::string& key, const PeerRecord& record) {
    std::lock_guard guard(mutex_);
    const auto found = entries_.find(key);
    if (found != entries_.end()) {
        // A user name can hold " (": two addresses may then make one key.
        per_source_.Move(found->second.source_address, record.source_address);
        found->second = record;
        return true;
    }
    if (entries_.size() >= limits_.total || !per_source_.TryAdd(record.source_address)) {
        return false;
    }
    entries_.emplace(key, record);
    return true;
}

bool PeerTable::Remove(const std::string& key) {
    std::lock_guard guard(mutex_);
    const auto found = entries_.find(key);
    if (found == entries_.end()) {
        return false;
    }
    per_source_.Remove(found->second.source_address);
    entries_.erase(found);
    return true;
}

void PeerTable::Clear() {
    std::lock_guard guard(mutex_);
    entries_.clear();
    per_source_.Clear();
}

std::vector<PeerEntry> PeerTable::Snapshot() const {
    std::lock_guard guard(mutex_);
    std::vector<PeerEntry> copy;
    copy.reserve(entries_.size());
    for (const auto& [key, record] : entries_) {
        copy.push_back(PeerEntry{key, record});
    }
    return copy;
}

std::size_t PeerTable::Size() const {
    std::lock_guard guard(mutex_);
    return entries_.size();
}

bool PeerTable::HasSource(std::uint32_t address) const {
    std::lock_guard guard(mutex_);
    return per_source_.Contains(address);
}

}  // namespace veltra
