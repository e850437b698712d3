// The hand-over between a worker thread and the tick on real threads: run it
// under ThreadSanitizer (preset tsan) too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/Harness.h"

using update::WorkerStatus;

namespace {

// Notes and finishes at once: the note and the result race the tick.
int32_t NoteAndFinish(int32_t run) {
    update::WorkerRunning(std::to_wstring(run) + L"%");
    update::WorkerNote(L"note " + std::to_wstring(run));
    if (run % 2 == 0) {
        update::WorkerSucceeded();
    } else {
        update::WorkerFailed(L"failed " + std::to_wstring(run), L"");
    }
    return 1;
}

TEST(HandOver, EveryNoteAndResultReachesTheLogInOrder) {
    testing_support::Harness h;
    h.Init();
    constexpr int kRuns = 2000;
    int next = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    // The tick loop: starts the next worker whenever the previous one was taken.
    while (next < kRuns || update::ReadWorkerStatus() != WorkerStatus::Idle) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "a status was lost";
        if (update::ReadWorkerStatus() == WorkerStatus::Idle && next < kRuns) {
            update::StartWorker(NoteAndFinish, next++);
            // Nothing may see the Idle from before the start.
            ASSERT_NE(update::ReadWorkerStatus(), WorkerStatus::Idle);
        }
        h.dlg.OnTimer();
    }
    // Per run: the note, then "Programming OK" or the reason and "Programming ERROR".
    const ui::LogModel& log = h.window.log();
    size_t line = 0;
    for (int run = 0; run < kRuns; ++run) {
        ASSERT_LT(line, log.size());
        ASSERT_EQ(log[line++].text, L"note " + std::to_wstring(run));
        if (run % 2 == 0) {
            ASSERT_EQ(log[line++].text, L"Programming OK");
        } else {
            ASSERT_EQ(log[line++].text, L"failed " + std::to_wstring(run));
            ASSERT_EQ(log[line++].text, L"Programming ERROR");
        }
    }
    EXPECT_EQ(line, log.size());
}

}  // namespace
