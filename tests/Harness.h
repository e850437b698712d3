// Runs the tool's logic headless against the simulated device on virtual time:
// each tick advances the device's clock by 50 ms. Workers run on real threads;
// before each tick the harness waits until the running worker has left a note
// or a result, so every run ticks the same way.
#pragma once

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "device/DeviceLibrary.h"
#include "simulator/Samples.h"
#include "simulator/SimDevice.h"
#include "tests/support/HeadlessWindow.h"
#include "ui/FlasherDlg.h"
#include "update/UpdateState.h"

namespace testing_support {

// A fresh folder, made the current directory for the test's life.
class TempFolder {
public:
    TempFolder() {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("qdx-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(path_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~TempFolder() {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_, previous_;
};

inline bool WaitWhileWorkerRuns() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (update::ReadWorkerStatus() == update::WorkerStatus::Running) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

class Harness {
public:
    explicit Harness(sim::Config config = {}, bool writeSamples = true) {
        config.jtagDrainBytesPerMs = std::max<int64_t>(config.jtagDrainBytesPerMs, 20000);
        device::Device() = sim::StaticLibrary();
        sim::Instance().Reset(config);
        update::ResetUpdateState();
        if (writeSamples) samples::WriteAll(folder.path().string());
    }
    ~Harness() { WaitWhileWorkerRuns(); }

    void Init() { dlg.OnInitDialog(); }
    void Tick() { TickWith(dlg); }
    // A tick of another window logic on the same device and clock (one that
    // talks to the window through a window in front of `window`).
    void TickWith(ui::CFlasherDlg& logic) {
        if (!WaitWhileWorkerRuns()) throw std::runtime_error("a worker did not finish");
        ++ticks;
        sim::Instance().Advance(50'000);
        logic.OnTimer();
    }
    // Ticks until `done` holds, at most `limit` ticks; false when it never held.
    bool TickUntil(const std::function<bool()>& done, int limit = 20000) {
        return TickUntilWith(dlg, done, limit);
    }
    bool TickUntilWith(ui::CFlasherDlg& logic, const std::function<bool()>& done,
                       int limit = 20000) {
        for (int i = 0; i < limit; ++i) {
            if (done()) return true;
            TickWith(logic);
        }
        return done();
    }
    // Starts an update and ticks until it has ended.
    bool Update(int limit = 20000) { return UpdateWith(dlg, limit); }
    bool UpdateWith(ui::CFlasherDlg& logic, int limit = 20000) {
        logic.OnUpdateButton();
        return TickUntilWith(
            logic, [] { return update::updateState.updateStep == update::kStepIdle; }, limit);
    }
    std::vector<std::wstring> LogTexts() const {
        std::vector<std::wstring> texts;
        for (const ui::LogLine& line : window.log().lines()) texts.push_back(line.text);
        return texts;
    }

    TempFolder folder;
    ui::HeadlessWindow window;
    ui::CFlasherDlg dlg{window};
    sim::Device& device = sim::Instance();
    int ticks = 0;
};

}  // namespace testing_support
