// The FPGA transfer worker on a 1 MB payload and the flash image worker on the
// 98320-byte firmware file:
//   *NoCallCost   against the simulated device answering at once (virtual
//                 time, buffers drain at once): calls per second and MB/s of
//                 the worker and the simulated library together.
//   *StubDevice   against a device whose calls return at once and do nothing:
//                 the worker's own cost per call (file reads, progress texts).
//   *CallCost/N   against the simulated device, every call busy-waiting N µs of
//                 real time as a USB round trip would: wall_per_device_time =
//                 wall time / (calls × N), what the worker (and the simulated
//                 library's own bookkeeping) add to the device's time; 1.00 is
//                 nothing. On a busy machine the wall time also holds the time
//                 other processes took: best_wall_per_device_time is the least
//                 disturbed run, cpu_per_device_time the worker thread's CPU time.
// Only the worker's run is timed (manual time); writing the files and resetting
// the device are not. Progress texts are counted per page (flash) or per call.
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Text.h"
#include "simulator/Image.h"
#include "simulator/Samples.h"
#include "simulator/SimDevice.h"
#include "tests/Harness.h"
#include "update/UpdateState.h"
#include "update/Workers.h"

namespace {

constexpr const char* kFpgaFile = "QDX140-GA0010.Bic";
constexpr size_t kFpgaPayload = 1 << 20;
constexpr int32_t kFirmwareArea = 9;

// Takes the worker's notes as the window's tick would, at a millisecond pace
// (a worker waits for its note to be taken only before its final status, so
// this adds at most about a millisecond per run, and never per call).
class NoteTaker {
public:
    NoteTaker()
        : thread_([this] {
              while (!stop_) {
                  update::ChangeWorkerStatus(update::WorkerStatus::Note,
                                             update::WorkerStatus::Running);
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          }) {}
    ~NoteTaker() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

size_t AllCalls() {
    size_t calls = 0;
    for (int op = 0; op < device::kOperationCount; ++op)
        calls += sim::Instance().CountCalls(static_cast<sim::Op>(op));
    return calls;
}

struct Files {
    testing_support::TempFolder folder;
    Files() {
        std::vector<uint8_t> image = sim::MakePlainImage(kFpgaPayload, {1, 0, 0, 1}, 0xBE7C4u);
        sim::Crypt(image);
        std::vector<uint8_t> fpga = samples::Header(0, "0010");
        fpga.insert(fpga.end(), image.begin(), image.end());
        samples::WriteFile(kFpgaFile, fpga);
        samples::WriteFile(samples::Info(samples::Kind::Firmware).fileName,
                           samples::FileBytes(samples::Kind::Firmware));
    }
};
Files& TheFiles() {
    static Files files;
    return files;
}

enum class Which { Fpga, Flash };

// A device that answers every call at once and does nothing: what is left of
// a run is the worker's own cost (file reads, progress texts, hand-over).
namespace stub {
std::atomic<size_t> calls{0};
bool closed = false;
int32_t QDX_CALL JtagStatus(int32_t, uint16_t* status, uint16_t* buffers) {
    ++calls;
    *status = closed ? 0x1000 : 0;
    *buffers = 0;
    return 1;
}
int32_t QDX_CALL JtagControl(int32_t, int32_t length, uint8_t) {
    ++calls;
    closed = length == 0;
    return 1;
}
int32_t QDX_CALL JtagWrite(int32_t, const uint8_t*, int32_t) {
    ++calls;
    return 1;
}
int32_t QDX_CALL EraseSector(int32_t, uint8_t, uint8_t* status) {
    ++calls;
    *status = 0;
    return 1;
}
int32_t QDX_CALL ProgramPage(int32_t, uint8_t, uint32_t, uint8_t* status) {
    ++calls;
    *status = 0;
    return 1;
}
int32_t QDX_CALL WritePageBlock(int32_t, uint32_t, const uint8_t*, int32_t) {
    ++calls;
    return 1;
}
device::DeviceLibrary Library() {
    device::DeviceLibrary lib = sim::StaticLibrary();
    lib.JtagStatus = JtagStatus;
    lib.JtagControl = JtagControl;
    lib.JtagWrite = JtagWrite;
    lib.JtagWriteEncrypted = JtagWrite;
    lib.EraseSector = EraseSector;
    lib.ProgramPage = ProgramPage;
    lib.WritePageBlock = WritePageBlock;
    return lib;
}
}  // namespace stub

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;
    size_t calls = 0;
    size_t progressTexts = 0;
    bool succeeded = false;
};

Run RunWorker(Which which, const sim::Config& config, bool stubDevice = false) {
    TheFiles();
    device::Device() = stubDevice ? stub::Library() : sim::StaticLibrary();
    stub::calls = 0;
    stub::closed = false;
    sim::Instance().Reset(config);
    sim::Instance().OpenLink();
    update::ResetUpdateState();
    update::imageFileName.Set(
        which == Which::Fpga ? platform::Widen(kFpgaFile)
                             : platform::Widen(samples::Info(samples::Kind::Firmware).fileName));
    std::atomic<size_t> texts{0};
    update::workerProgress.SetObserver([&texts](const std::wstring&) { ++texts; });
    update::updateState.workerStatus.store(static_cast<int32_t>(update::WorkerStatus::Running));

    Run run;
    {
        NoteTaker tick;
        const double cpuStart = ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        if (which == Which::Fpga)
            update::FpgaTransferWorker(1);
        else
            update::FlashImageWorker(kFirmwareArea);
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.cpuSeconds = ThreadCpuSeconds() - cpuStart;
    }
    update::workerProgress.SetObserver(nullptr);
    run.calls = stubDevice ? stub::calls.load() : AllCalls();
    run.progressTexts = texts;
    run.succeeded = update::ReadWorkerStatus() == update::WorkerStatus::Succeeded;
    return run;
}

sim::Config NoCostConfig(Which which) {
    sim::Config config;
    config.trace = false;
    config.virtualTime = true;
    config.callCostUs = 1;                       // virtual: costs no real time
    config.jtagDrainBytesPerMs = 1'000'000'000;  // the programmer empties a buffer at once
    config.startInBootloader = which == Which::Flash;
    return config;
}

sim::Config CostConfig(Which which, int64_t costUs) {
    sim::Config config;
    config.trace = false;
    config.virtualTime = false;
    config.callCostUs = costUs;  // busy-waited per call, in real time
    config.startInBootloader = which == Which::Flash;
    return config;
}

void Report(benchmark::State& state, const Run& last, size_t bytes, double totalSeconds,
            size_t totalCalls, size_t pages) {
    state.counters["calls"] = static_cast<double>(last.calls);
    state.counters["calls_per_s"] = static_cast<double>(totalCalls) / totalSeconds;
    state.counters["MB_per_s"] =
        static_cast<double>(bytes) * static_cast<double>(state.iterations()) / totalSeconds / 1e6;
    if (pages > 0)
        state.counters["progress_texts_per_page"] =
            static_cast<double>(last.progressTexts) / static_cast<double>(pages);
    else
        state.counters["progress_texts_per_call"] =
            static_cast<double>(last.progressTexts) / static_cast<double>(last.calls);
}

void Measure(benchmark::State& state, Which which, const sim::Config& config, int64_t costUs,
             bool stubDevice = false) {
    const size_t bytes = which == Which::Fpga ? kFpgaPayload : 98304;
    const size_t pages = which == Which::Fpga ? 0 : 384;
    double totalSeconds = 0, deviceSeconds = 0, cpuSeconds = 0, bestRatio = 1e9;
    size_t totalCalls = 0;
    Run last;
    for (auto _ : state) {
        last = RunWorker(which, config, stubDevice);
        if (!last.succeeded) {
            state.SkipWithError(platform::ToUtf8(update::workerMessage.Get()).c_str());
            return;
        }
        state.SetIterationTime(last.seconds);
        totalSeconds += last.seconds;
        cpuSeconds += last.cpuSeconds;
        totalCalls += last.calls;
        const double device = static_cast<double>(last.calls) * static_cast<double>(costUs) * 1e-6;
        deviceSeconds += device;
        if (costUs > 0 && last.seconds / device < bestRatio) bestRatio = last.seconds / device;
    }
    Report(state, last, bytes, totalSeconds, totalCalls, pages);
    state.counters["us_per_call"] = totalSeconds * 1e6 / static_cast<double>(totalCalls);
    if (costUs > 0) {
        state.counters["wall_per_device_time"] = totalSeconds / deviceSeconds;
        state.counters["best_wall_per_device_time"] = bestRatio;  // the least disturbed run
        // The same on the worker thread's CPU time: blind to the time the machine
        // gave to other processes, which on a busy machine inflates the wall time.
        state.counters["cpu_per_device_time"] = cpuSeconds / deviceSeconds;
        state.counters["overhead_us_per_call"] =
            (totalSeconds - deviceSeconds) * 1e6 / static_cast<double>(totalCalls);
    }
}

void BM_FpgaWorker1MB_NoCallCost(benchmark::State& state) {
    Measure(state, Which::Fpga, NoCostConfig(Which::Fpga), 0);
}
BENCHMARK(BM_FpgaWorker1MB_NoCallCost)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void BM_FlashWorkerFirmware_NoCallCost(benchmark::State& state) {
    Measure(state, Which::Flash, NoCostConfig(Which::Flash), 0);
}
BENCHMARK(BM_FlashWorkerFirmware_NoCallCost)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

void BM_FpgaWorker1MB_StubDevice(benchmark::State& state) {
    Measure(state, Which::Fpga, NoCostConfig(Which::Fpga), 0, true);
}
BENCHMARK(BM_FpgaWorker1MB_StubDevice)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void BM_FlashWorkerFirmware_StubDevice(benchmark::State& state) {
    Measure(state, Which::Flash, NoCostConfig(Which::Flash), 0, true);
}
BENCHMARK(BM_FlashWorkerFirmware_StubDevice)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

void BM_FpgaWorker1MB_CallCost(benchmark::State& state) {
    Measure(state, Which::Fpga, CostConfig(Which::Fpga, state.range(0)), state.range(0));
}
BENCHMARK(BM_FpgaWorker1MB_CallCost)
    ->Arg(125)
    ->Arg(250)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

void BM_FlashWorkerFirmware_CallCost(benchmark::State& state) {
    Measure(state, Which::Flash, CostConfig(Which::Flash, state.range(0)), state.range(0));
}
BENCHMARK(BM_FlashWorkerFirmware_CallCost)
    ->Arg(125)
    ->Arg(250)
    ->Arg(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
