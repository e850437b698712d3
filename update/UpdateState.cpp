#include "update/UpdateState.h"

#include <cassert>

namespace update {

UpdateState updateState{};
SharedText imageFileName;
SharedText workerMessage;
SharedText workerProgress;
std::wstring displayText;
int32_t fileBootloaderVersion = 0;

void SharedText::Set(std::wstring text) {
    std::lock_guard<std::mutex> lock(mutex_);
    text_ = std::move(text);
    if (observer_) observer_(text_);
}

std::wstring SharedText::Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

void SharedText::SetObserver(std::function<void(const std::wstring&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

void ResetUpdateState() {
    for (int32_t& v : updateState.parameterValues) v = 0;
    updateState.delayTicks = 0;
    updateState.updateStep = kStepIdle;
    updateState.retryCount = 0;
    updateState.workerStatus.store(static_cast<int32_t>(WorkerStatus::Idle));
    updateState.restartState = kRestartNone;
    updateState.linkState = kLinkFirmware;
    updateState.parameterImagePointer = nullptr;
    updateState.wrongModeTicks = 0;
    updateState.requestRepeats = 0;
    imageFileName.Set(L"");
    workerMessage.Set(L"");
    workerProgress.Set(L"");
    displayText.clear();
    fileBootloaderVersion = 0;
}

WorkerStatus ReadWorkerStatus() {
    return static_cast<WorkerStatus>(updateState.workerStatus.load(std::memory_order_acquire));
}

bool ChangeWorkerStatus(WorkerStatus from, WorkerStatus to) {
    auto expected = static_cast<int32_t>(from);
    return updateState.workerStatus.compare_exchange_strong(
        expected, static_cast<int32_t>(to), std::memory_order_acq_rel, std::memory_order_acquire);
}

namespace {

void Publish(WorkerStatus status) {
    updateState.workerStatus.store(static_cast<int32_t>(status), std::memory_order_release);
}

// A note stays until the tick has logged it; only then may the worker write
// the message again. The tick keeps running while a worker lives (even while
// the window waits to close), so this wait always ends.
void WaitForNoteTaken() {
    // The tick takes a note within 50 ms: yield a while first, then sleep.
    for (int spins = 0; ReadWorkerStatus() == WorkerStatus::Note; ++spins)
        platform::SleepMs(spins < 1000 ? 0 : 1);
}

}  // namespace

void StartWorker(Worker worker, int32_t argument) {
    assert(ReadWorkerStatus() == WorkerStatus::Idle && "a worker is started only when none runs");
    Publish(WorkerStatus::Running);
    if (!platform::StartThread(worker, argument)) {
        workerMessage.Set(L"Worker thread could not be started");
        workerProgress.Set(L"");
        Publish(WorkerStatus::Failed);
    }
}

void ApplyRetryRule(Step restartStep) {
    updateState.retryCount += 1;
    if (updateState.retryCount > kRetryLimit) {
        updateState.updateStep = kStepEndWithError;
        return;
    }
    updateState.delayTicks = kSettleTicks;
    updateState.updateStep = restartStep;
}

void WorkerRunning(const std::wstring& progress) {
    workerProgress.Set(progress);
    Publish(WorkerStatus::Running);
}

void WorkerNote(const std::wstring& message) {
    WaitForNoteTaken();
    workerMessage.Set(message);
    Publish(WorkerStatus::Note);
}

void WorkerSucceeded() {
    WaitForNoteTaken();
    Publish(WorkerStatus::Succeeded);
}

namespace {

void Fail(const std::wstring& message, const std::wstring* progress) {
    WaitForNoteTaken();
    workerMessage.Set(message);
    if (progress != nullptr) workerProgress.Set(*progress);
    Publish(WorkerStatus::Failed);
}

}  // namespace

void WorkerFailed(const std::wstring& message, const std::wstring& progress) {
    Fail(message, &progress);
}

void WorkerFailedKeepProgress(const std::wstring& message) { Fail(message, nullptr); }

}  // namespace update
