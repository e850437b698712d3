// The cost of the 50 ms tick: idle (polling the device) and while a worker
// runs (presenting its progress), and a whole update on virtual time.
#include <benchmark/benchmark.h>

#include <chrono>

#include "tests/Harness.h"

namespace {

// A window that only keeps what a real one would show, so the benchmark measures the logic.
class QuietWindow : public ui::WindowOps {
public:
    void SetFieldText(int id, const std::wstring& text) override { fields_[id % 32] = text; }
    void EnableControl(int, bool) override {}
    void RefreshControl(int) override {}
    void AppendLogLine(std::wstring text, ui::LogColour colour) override {
        log_.Append(std::move(text), colour);
    }
    void ClearLog() override { log_.Clear(); }

private:
    std::wstring fields_[32];
    ui::LogModel log_;
};

void SetUpDevice() {
    device::Device() = sim::StaticLibrary();
    sim::Config config;
    config.trace = false;
    config.callCostUs = 0;
    sim::Instance().Reset(config);
    update::ResetUpdateState();
}

void BM_IdleTick(benchmark::State& state) {
    SetUpDevice();
    QuietWindow window;
    ui::CFlasherDlg dlg(window);
    dlg.OnInitDialog();
    for (auto _ : state) dlg.OnTimer();
}
BENCHMARK(BM_IdleTick);

void BM_TickWhileWorkerRuns(benchmark::State& state) {
    SetUpDevice();
    QuietWindow window;
    ui::CFlasherDlg dlg(window);
    dlg.OnInitDialog();
    update::updateState.workerStatus.store(static_cast<int32_t>(update::WorkerStatus::Running));
    update::updateState.updateStep = update::kStepWaitFirmwareStage;
    update::workerProgress.Set(L"57%   FFFEDB");
    for (auto _ : state) dlg.OnTimer();
    update::ResetUpdateState();
}
BENCHMARK(BM_TickWhileWorkerRuns);

// A complete update (boot loader included) on virtual time: wall time per update.
void BM_WholeUpdateOnVirtualTime(benchmark::State& state) {
    int64_t ticks = 0;
    for (auto _ : state) {
        sim::Config config;
        config.bootloaderVersion = {0, 6, 0, 1};
        config.trace = false;
        testing_support::Harness h(config);
        h.Init();
        if (!h.Update()) state.SkipWithError("the update did not end");
        ticks = h.ticks;
    }
    state.counters["ticks"] = static_cast<double>(ticks);
    state.counters["device_seconds"] = static_cast<double>(ticks) * 0.05;
}
BENCHMARK(BM_WholeUpdateOnVirtualTime)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
