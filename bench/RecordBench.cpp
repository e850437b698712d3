// What the update record costs the window thread: the start of a record (the
// four update files read and hashed in the Update button's handler), one
// record line (written and flushed to the disk), and SHA-256 itself.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

#include "tests/Harness.h"
#include "ui/record/Sha256.h"
#include "ui/record/UpdateRecorder.h"

namespace {

void BM_Sha256(benchmark::State& state) {
    const std::vector<uint8_t> data(1 << 20, 0x5A);
    for (auto _ : state) {
        ui::record::Sha256 hash;
        hash.Add(data.data(), data.size());
        benchmark::DoNotOptimize(hash.FinishHex());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_Sha256)->Unit(benchmark::kMillisecond);

// The Update button with a writable records folder: the header, the four
// files hashed, each line flushed. The files are the samples (about 410 kB).
void BM_RecordStart(benchmark::State& state) {
    testing_support::TempFolder folder;
    samples::WriteAll(folder.path().string());
    ui::HeadlessWindow window;
    int n = 0;
    for (auto _ : state) {
        ui::record::UpdateRecorder recorder(window,
                                            (folder.path() / ("r" + std::to_string(++n))).string());
        recorder.UpdateStarted();
        state.PauseTiming();
        recorder.UpdateEnded(true);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RecordStart)->Unit(benchmark::kMillisecond);

// One log line while a record is open: the line to the window and to the disk.
void BM_RecordLine(benchmark::State& state) {
    testing_support::TempFolder folder;
    samples::WriteAll(folder.path().string());
    ui::HeadlessWindow window;
    ui::record::UpdateRecorder recorder(window, (folder.path() / "records").string());
    recorder.UpdateStarted();
    for (auto _ : state)
        recorder.AppendLogLine(L"Programming BIN-File Encrypted: QDX140-FW2500.Bic",
                               ui::LogColour::Blue);
}
BENCHMARK(BM_RecordLine)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
