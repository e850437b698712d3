// The update state shared by the window thread and the one worker thread, and
// the hand-over between them.
//
// The status word is atomic: a worker publishes its texts before the status
// that announces them (release), the window thread reads the status first
// (acquire) and the texts after. The window thread's own transitions (Note to
// Running, Succeeded or Failed to Idle) are compare-and-swap, so they never
// overwrite a status the worker wrote meanwhile. A worker that has left a note
// waits for the tick to take it before it writes again, so a note is never lost
// under the result that follows it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/Thread.h"

namespace update {

enum class WorkerStatus : int32_t { Idle = 0, Note = 1, Running = 2, Succeeded = 3, Failed = 4 };

// The update's steps, one per tick while it waits (0: no update runs).
enum Step : int32_t {
    kStepIdle = 0,
    kStepCheckFiles = 1,
    // The boot loader.
    kStepEnterBootloader = 2,
    kStepWaitBootloader = 3,
    kStepCompareBootloaderVersion = 4,
    kStepStartBootloaderStage = 5,
    kStepWaitBootloaderStage = 6,
    kStepRestartAfterBootloader = 7,
    kStepWaitRestartAfterBootloader = 8,
    // The firmware.
    kStepEnterBootloaderForFirmware = 9,
    kStepWaitBootloaderForFirmware = 10,
    kStepStartFirmwareStage = 11,
    kStepWaitFirmwareStage = 12,
    kStepRestartAfterFirmware = 13,
    // The system parameters.
    kStepWaitFirmwareForParameters = 14,
    kStepReadParameters = 15,
    kStepEnterBootloaderForParameters = 16,
    kStepWaitBootloaderForParameters = 17,
    kStepStartParameterStage = 18,
    kStepWaitParameterStage = 19,
    // The interpolator configuration.
    kStepSettleBeforeInterpolator = 20,
    kStepStartInterpolatorStage = 21,
    kStepWaitInterpolatorStage = 22,
    kStepRestartAfterInterpolator = 23,
    // The FPGA configuration.
    kStepWaitFirmwareForFpga = 24,
    kStepStartFpgaStage = 25,
    kStepWaitFpgaStage = 26,
    kStepRestartAfterFpga = 27,
    // Saving.
    kStepWaitFirmwareForSaving = 28,
    kStepSaveModuleParameters = 29,
    kStepSaveUserParameters = 30,
    kStepClearModuleParameters = 31,
    kStepSettleBeforeEnd = 32,
    kStepEndOk = 33,
    // The ends without "QDX-Update OK".
    kStepEndWithError = 99,
    kStepEndQuietly = 100,
};

// What the last poll of the device found.
enum LinkState : int32_t { kLinkAway = -1, kLinkFirmware = 0, kLinkBootloader = 1 };

// A restart after the boot loader was programmed, followed by the poll: sent
// and accepted, the link opened again, then the boot loader answering.
enum RestartState : int32_t {
    kRestartNone = 0,
    kRestartSent = 1,
    kRestartLinkOpened = 2,
    kRestartInBootloader = 3,
};

inline constexpr int kParameterCount = 64;  // the system parameters read and written back

struct UpdateState {
    int32_t parameterValues[kParameterCount];
    int32_t delayTicks;
    Step updateStep;
    int32_t retryCount;
    std::atomic<int32_t> workerStatus;
    RestartState restartState;
    LinkState linkState;
    const uint8_t* parameterImagePointer;
    // A waiting step's count of ticks in which the device answered in the
    // wrong mode, and of the requests it has sent again (both window thread).
    int32_t wrongModeTicks;
    int32_t requestRepeats;
};

// A text shared between the threads; never read half-written.
class SharedText {
public:
    void Set(std::wstring text);
    std::wstring Get() const;
    // Tests watch every text a worker writes; nullptr to stop.
    void SetObserver(std::function<void(const std::wstring&)> observer);

private:
    mutable std::mutex mutex_;
    std::wstring text_;
    std::function<void(const std::wstring&)> observer_;
};

extern UpdateState updateState;
extern SharedText imageFileName;   // the file the next worker reads
extern SharedText workerMessage;   // a note, or the reason of a failure
extern SharedText workerProgress;  // the worker's progress line
extern std::wstring displayText;   // window thread only: scratch for one line
extern int32_t fileBootloaderVersion;

// The values of a program start (used by tests between runs, too).
void ResetUpdateState();

// ---- the window thread's side ----
WorkerStatus ReadWorkerStatus();
// Compare-and-swap: true when the status was `from` and is now `to`.
bool ChangeWorkerStatus(WorkerStatus from, WorkerStatus to);

// Starts a worker: Running is set before the thread exists, so nothing sees
// the Idle from before the start. A thread that cannot be created ends as
// Failed with a reason, like a worker that failed.
using Worker = int32_t (*)(int32_t argument);
void StartWorker(Worker worker, int32_t argument);

// A failed stage: count it; past kRetryLimit failures end the update
// (kStepEndWithError), otherwise settle for kSettleTicks and go back to the
// stage's restart step.
inline constexpr int32_t kRetryLimit = 10;
inline constexpr int32_t kSettleTicks = 20;  // one second
void ApplyRetryRule(Step restartStep);

// ---- the worker's side ----
void WorkerRunning(const std::wstring& progress);
void WorkerNote(const std::wstring& message);
// The last act of every worker: texts first, then the final status.
void WorkerSucceeded();
void WorkerFailed(const std::wstring& message, const std::wstring& progress);
void WorkerFailedKeepProgress(const std::wstring& message);

}  // namespace update
