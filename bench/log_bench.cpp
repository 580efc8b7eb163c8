// Log growth: the cost of appending N progress entries (N = 10,000, 50,000, 100,000), each
// formatted by TransferProgress as a download's FileProgress handler does.
// - ProgressIntoGrowingText: the entries appended to one std::wstring that keeps the whole log.
// - ProgressThroughConsoleWrite: each entry written as the console writes it (UTF-8, LF line
//   ends) to /dev/null; the console flushes once per batch of events, here once per run.
// - FixedTextIntoGrowingText: the plain floor, the same number of fixed 17-character lines
//   appended to a std::wstring without formatting.
// - ProgressByRewritingWholeText: the log rebuilt as old text + entry for every entry (what a
//   control that is read out and set again costs), at 2,500 to 10,000 entries: it is quadratic.
// Each reports its fitted complexity; time per entry must stay flat for the first three.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "ui/presentation/log_entries.h"
#include "ui/presentation/utf8_lines.h"

namespace veltra {
namespace {

constexpr std::uint64_t kFileSize = std::uint64_t{1} << 30;
constexpr std::uint64_t kChunk = 65536;

// Progress of a 1 GiB file, one 64 KiB chunk per entry, each a line's interval after the last, so
// that every chunk writes its line.
TransferProgress::Step StepFor(TransferProgress& progress, std::int64_t index) {
    const auto received = static_cast<std::uint64_t>(index + 1) * kChunk % kFileSize;
    return progress.Progress(received,
                             static_cast<std::uint32_t>(index + 1) * kProgressLineIntervalMs);
}

void ProgressIntoGrowingText(benchmark::State& state) {
    for (auto _ : state) {
        TransferProgress progress;
        progress.Start(kFileSize, 0);
        std::wstring log;
        for (std::int64_t i = 0; i < state.range(0); ++i) {
            log += StepFor(progress, i).entry;
        }
        benchmark::DoNotOptimize(log.data());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ProgressIntoGrowingText)
    ->Arg(10000)
    ->Arg(50000)
    ->Arg(100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void ProgressThroughConsoleWrite(benchmark::State& state) {
    std::ofstream sink("/dev/null");
    for (auto _ : state) {
        TransferProgress progress;
        progress.Start(kFileSize, 0);
        for (std::int64_t i = 0; i < state.range(0); ++i) {
            sink << Utf8Lines(StepFor(progress, i).entry);
        }
        sink.flush();
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ProgressThroughConsoleWrite)
    ->Arg(10000)
    ->Arg(50000)
    ->Arg(100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void FixedTextIntoGrowingText(benchmark::State& state) {
    const std::wstring line = L"1.19M/S 25.00%\r\n";
    for (auto _ : state) {
        std::wstring log;
        for (std::int64_t i = 0; i < state.range(0); ++i) {
            log += line;
        }
        benchmark::DoNotOptimize(log.data());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(FixedTextIntoGrowingText)
    ->Arg(10000)
    ->Arg(50000)
    ->Arg(100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void ProgressByRewritingWholeText(benchmark::State& state) {
    for (auto _ : state) {
        TransferProgress progress;
        progress.Start(kFileSize, 0);
        std::wstring log;
        for (std::int64_t i = 0; i < state.range(0); ++i) {
            const std::wstring old_text = log;  // read the whole text out
            log = old_text + StepFor(progress, i).entry;
        }
        benchmark::DoNotOptimize(log.data());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ProgressByRewritingWholeText)
    ->Arg(2500)
    ->Arg(5000)
    ->Arg(10000)
    ->Complexity(benchmark::oNSquared)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veltra

BENCHMARK_MAIN();
