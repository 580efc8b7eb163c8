// Cost of building and parsing one packet: a typical text message, and a full 16384-byte
// datagram (the largest the protocol allows).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "engine/packet.h"

namespace veltra {
namespace {

const std::string kTypicalMessage = "Are we meeting at three?\r\nI'll bring the files.";
const std::string kFullMessage(MAX_PACKET, 'x');

void BM_BuildTypicalMessage(benchmark::State& state) {
    auto buffer = std::make_unique<char[]>(MAX_PACKET);
    std::int32_t number = 1700000000;
    for (auto _ : state) {
        int length = WritePacket(buffer.get(), ++number, "wm", "pda", 0x20, kTypicalMessage.c_str(),
                                 nullptr);
        benchmark::DoNotOptimize(length);
    }
}
BENCHMARK(BM_BuildTypicalMessage);

void BM_BuildFullDatagram(benchmark::State& state) {
    auto buffer = std::make_unique<char[]>(MAX_PACKET);
    std::int32_t number = 1700000000;
    for (auto _ : state) {
        int length =
            WritePacket(buffer.get(), ++number, "wm", "pda", 0x20, kFullMessage.c_str(), nullptr);
        benchmark::DoNotOptimize(length);
    }
    state.SetBytesProcessed(state.iterations() * MAX_PACKET);
}
BENCHMARK(BM_BuildFullDatagram);

void ParseLoop(benchmark::State& state, const std::string& message) {
    auto datagram = std::make_unique<RawDatagram>();
    datagram->byte_count =
        WritePacket(datagram->data, 1700000000, "wm", "pda", 0x20, message.c_str(), nullptr);
    datagram->data[datagram->byte_count] = '\0';
    auto record = std::make_unique<PacketRecord>();
    for (auto _ : state) {
        bool ok = ParsePacket(*datagram, *record);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(record->text[0]);
    }
    state.SetBytesProcessed(state.iterations() * datagram->byte_count);
}

void BM_ParseTypicalMessage(benchmark::State& state) {
    ParseLoop(state, kTypicalMessage);
}
BENCHMARK(BM_ParseTypicalMessage);

void BM_ParseFullDatagram(benchmark::State& state) {
    ParseLoop(state, kFullMessage);
}
BENCHMARK(BM_ParseFullDatagram);

}  // namespace
}  // namespace veltra

BENCHMARK_MAIN();
