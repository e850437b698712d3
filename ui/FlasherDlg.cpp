#include "ui/FlasherDlg.h"

#include "device/DeviceLibrary.h"
#include "platform/Text.h"
#include "update/UpdateSequence.h"
#include "update/UpdateState.h"

namespace ui {

using update::WorkerStatus;

namespace {
update::UpdateState& s = update::updateState;
}

bool CFlasherDlg::OnInitDialog(const std::function<void()>& startTimer) {
    s.linkState = update::kLinkFirmware;
    s.restartState = update::kRestartNone;
    s.updateStep = update::kStepIdle;
    s.delayTicks = 0;
    s.retryCount = 0;
    // The 50 ms timer runs from here, before the link is opened; its first
    // tick comes only once the message loop runs, so it sees the state below.
    if (startTimer) startTimer();
    const int32_t opened = device::Device().OpenLink();
    window_.SetFieldText(linkStatusField,
                         opened > 0 ? L"USB Interface: Ready" : L"USB Interface: ERROR");
    window_.SetFieldText(firmwareVersionField, L"Firmw. Version:");
    window_.SetFieldText(serialNumberField, L"Serial Number:");
    window_.EnableControl(restartButton, false);
    window_.EnableControl(infoButton, false);
    window_.EnableControl(updateButton, false);
    s.workerStatus.store(static_cast<int32_t>(WorkerStatus::Idle), std::memory_order_release);
    return true;
}

void CFlasherDlg::OnTimer() {
    // One consistent status, read once: it decides between polling and presenting.
    const WorkerStatus status = update::ReadWorkerStatus();
    if (status == WorkerStatus::Idle) {
        Poll();
    } else {
        PresentWorker(status);
    }
    const WorkerStatus after = update::ReadWorkerStatus();
    if (closePending_ && after != WorkerStatus::Note && after != WorkerStatus::Running) {
        // The worker has ended. A result it left after the first read is shown
        // now, so that the window never ends over an unseen result; then no
        // further step may start a device call or a worker before the link closes.
        if ((after == WorkerStatus::Succeeded || after == WorkerStatus::Failed) && after != status)
            PresentWorker(after);
        closeDue_ = true;
        return;
    }
    if (s.delayTicks > 0) --s.delayTicks;
    const update::Step stepBefore = s.updateStep;
    update::UpdateSequenceStep(window_);
    // Only kStepEndOk ends an update with "QDX-Update OK".
    if (observer_ != nullptr && stepBefore != update::kStepIdle &&
        s.updateStep == update::kStepIdle)
        observer_->UpdateEnded(stepBefore == update::kStepEndOk);
    // Only the failure presented in this tick, which the step has just seen, is
    // cleared: a worker may have failed since phase 1, and that one must first
    // be presented in the next tick.
    if (status == WorkerStatus::Failed)
        update::ChangeWorkerStatus(WorkerStatus::Failed, WorkerStatus::Idle);
}

void CFlasherDlg::Poll() {
    device::DeviceLibrary& dev = device::Device();
    uint8_t a = 0, b = 0, c = 0, d = 0;
    const int32_t version = dev.ReadVersion(0, &a, &b, &c, &d);
    if (version < 0) {
        if (dev.OpenLink() != 0) {
            window_.SetFieldText(linkStatusField, L"USB Interface: Ready");
            if (s.restartState == update::kRestartSent) s.restartState = update::kRestartLinkOpened;
        } else {
            dev.CloseLink();
            update::displayText = platform::FormatText(L"USB Interface: ERROR %d", version);
            window_.SetFieldText(linkStatusField, update::displayText);
            window_.SetFieldText(firmwareVersionField, L"Firmw. Version:");
            window_.EnableControl(infoButton, false);
            window_.EnableControl(updateButton, false);
        }
        s.linkState = update::kLinkAway;
        return;
    }
    update::displayText = platform::FormatText(L"Firmw. Version: %X.%X.%X.%X", a, b, c, d);
    window_.SetFieldText(firmwareVersionField, update::displayText);
    uint32_t serial = 0;
    if (dev.ReadSerialNumber(0, &serial) == 1) {
        update::displayText = platform::FormatText(L"Serial Number: %X", serial);
        window_.SetFieldText(serialNumberField, update::displayText);
        s.linkState = update::kLinkFirmware;
        if (s.updateStep == update::kStepIdle) {
            window_.EnableControl(infoButton, true);
            window_.EnableControl(updateButton, true);
        }
        return;
    }
    if (s.linkState != update::kLinkBootloader) {
        s.linkState = update::kLinkBootloader;
        window_.EnableControl(infoButton, false);
    }
    if (s.updateStep == update::kStepIdle) window_.EnableControl(updateButton, true);
    if (s.restartState == update::kRestartLinkOpened) s.restartState = update::kRestartInBootloader;
}

void CFlasherDlg::PresentWorker(WorkerStatus status) {
    auto showProgress = [this] {
        window_.SetFieldText(progressField, update::workerProgress.Get());
        window_.RefreshControl(progressField);
    };
    switch (status) {
        case WorkerStatus::Note:
            window_.AppendLogLine(update::workerMessage.Get(), LogColour::Black);
            update::ChangeWorkerStatus(WorkerStatus::Note, WorkerStatus::Running);
            break;
        case WorkerStatus::Running: showProgress(); break;
        case WorkerStatus::Succeeded:
            update::workerMessage.Set(L"Programming OK");
            window_.AppendLogLine(update::workerMessage.Get(), LogColour::Green);
            showProgress();
            update::ChangeWorkerStatus(WorkerStatus::Succeeded, WorkerStatus::Idle);
            break;
        case WorkerStatus::Failed:
            window_.AppendLogLine(update::workerMessage.Get(), LogColour::Red);
            window_.AppendLogLine(L"Programming ERROR", LogColour::Red);
            showProgress();
            break;
        default: break;  // a value no worker writes: nothing to present
    }
}

void CFlasherDlg::OnUpdateButton() {
    s.updateStep = update::kStepCheckFiles;
    window_.EnableControl(updateButton, false);
    window_.EnableControl(infoButton, false);
    window_.EnableControl(restartButton, false);
    window_.EnableControl(exitButton, false);
    if (observer_ != nullptr) observer_->UpdateStarted();
}

void CFlasherDlg::OnRestartButton() {
    if (device::Device().RestartDevice(0) != 0) window_.AppendLogLine(L"Restart", LogColour::Black);
    window_.SetFieldText(progressField, L"");
}

void CFlasherDlg::OnInfoButton() {
    device::DeviceLibrary& dev = device::Device();
    uint32_t serial = 0, fpga = 0, icmq = 0;
    int32_t hardware = 0, date = 0, moduleVersion = 0;
    uint8_t a = 0, b = 0, c = 0, d = 0;
    dev.ReadSerialNumber(0, &serial);
    dev.ReadSystemParameter(0, 2, &hardware);
    dev.ReadSystemParameter(0, 3, &date);
    dev.ReadVersion(0, &a, &b, &c, &d);
    dev.ReadFpgaVersion(0, &fpga);
    // Older firmware has no parameter 511 and keeps the version in 255.
    if (dev.ReadModuleParameter(0, 511, &moduleVersion) == 0)
        dev.ReadModuleParameter(0, 255, &moduleVersion);
    dev.ReadModuleRegister(0, 0, 252, &icmq);
    if (icmq > 0x80000000u) icmq = 0;

    window_.AppendLogLine(L"", LogColour::Black);
    update::displayText = platform::FormatText(
        L"Serial Number:        %05X       HW-Version:       %4d      Date: %4d", serial, hardware,
        date);
    window_.AppendLogLine(update::displayText, LogColour::Black);
    update::displayText = platform::FormatText(
        L"FW-Version:           %X.%X.%X.%X       FPGA-Version:     %04X  %04X", a, b, c, d,
        fpga >> 16, fpga & 0xFFFFu);
    window_.AppendLogLine(update::displayText, LogColour::Black);
    update::displayText = platform::FormatText(
        L"Mod-Par-Version:    %8d       ICMQ-Version:    %04X", moduleVersion, icmq);
    window_.AppendLogLine(update::displayText, LogColour::Black);
    window_.AppendLogLine(L"", LogColour::Black);
}

bool WorkerHoldsDevice() {
    const WorkerStatus status = update::ReadWorkerStatus();
    return status == WorkerStatus::Running || status == WorkerStatus::Note;
}

CloseAction CFlasherDlg::RequestClose() {
    if (closeDue_) return CloseAction::End;
    const WorkerStatus status = update::ReadWorkerStatus();
    if (status == WorkerStatus::Running || status == WorkerStatus::Note) {
        // A worker still talks to the device: closing the link under it could
        // leave a half-programmed area, so the end waits for the worker's final
        // status. Asked again, the operator may choose to quit all the same.
        if (closePending_) return CloseAction::AskQuitNow;
        closePending_ = true;
        return CloseAction::AfterStage;
    }
    if (status == WorkerStatus::Succeeded || status == WorkerStatus::Failed) {
        // The worker has just ended and its result is not on the screen yet:
        // the next tick shows it and ends the window.
        closePending_ = true;
        return CloseAction::AfterStage;
    }
    return CloseAction::End;
}

}  // namespace ui
