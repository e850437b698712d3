#include "update/UpdateSequence.h"

#include "device/DeviceLibrary.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "update/Areas.h"
#include "update/UpdateState.h"
#include "update/Workers.h"

namespace update {
namespace {

using ui::LogColour;
UpdateState& s = updateState;

// ---- the kinds of step ---------------------------------------------------------------------

void WaitForLink(int32_t linkState, int32_t next) {
    if (s.linkState == linkState && s.delayTicks == 0) s.updateStep = next;
}
void WaitForBootloader(int32_t next) { WaitForLink(1, next); }
void WaitForFirmware(int32_t next) { WaitForLink(0, next); }
void WaitForDelay(int32_t next) {
    if (s.delayTicks == 0) s.updateStep = next;
}

void EnterBootloader(int32_t next) {
    if (device::Device().EnterBootloader(0) != 0) s.delayTicks = kSettleTicks;
    s.retryCount = 0;
    s.updateStep = next;
}

// Restarts the device; true when it accepted.
bool Restart() {
    if (device::Device().RestartDevice(0) == 0) return false;
    s.linkState = -1;
    s.delayTicks = kSettleTicks;
    return true;
}

void RestartAndClearFile(ui::WindowOps& window, int32_t next) {
    if (Restart()) {
        window.SetFieldText(ui::currentFileField, L" ");
        window.SetFieldText(ui::progressField, L"");
    }
    s.updateStep = next;
}

struct Stage {
    int row;
    const wchar_t* caption;
    Worker worker;
    int32_t argument;
};

void StartStage(ui::WindowOps& window, const Stage& stage, int32_t next) {
    imageFileName.Set(UpdateFileName(stage.row));
    const std::wstring name = imageFileName.Get();
    window.SetFieldText(ui::currentFileField, stage.caption + name);
    window.AppendLogLine(L"Programming BIN-File Encrypted: " + name, LogColour::Blue);
    StartWorker(stage.worker, stage.argument);
    s.updateStep = next;
}

// Idle: the stage is done (the tick took its Succeeded this same tick).
// Failed: retry from the stage's restart step. Note, Running: still working.
// Returns true when the stage is done.
bool WaitForWorker(int32_t restartStep) {
    const WorkerStatus status = ReadWorkerStatus();
    if (status == WorkerStatus::Idle) return true;
    if (status == WorkerStatus::Failed) ApplyRetryRule(restartStep);
    return false;
}

void End(ui::WindowOps& window, bool restartToo) {
    window.SetFieldText(ui::progressField, L"");
    window.EnableControl(ui::updateButton, true);
    window.EnableControl(ui::infoButton, true);
    if (restartToo) window.EnableControl(ui::restartButton, true);
    window.EnableControl(ui::exitButton, true);
    s.updateStep = 0;
}

// ---- the steps with work of their own ------------------------------------------------------

void CheckFiles(ui::WindowOps& window) {
    window.ClearLog();
    bool present = ReadBootloaderVersion();
    for (int row = 1; present && row <= 3; ++row) {
        imageFileName.Set(UpdateFileName(row));
        platform::InputFile file;
        present = OpenUpdateFile(file, imageFileName.Get());
    }
    if (!present) {
        window.AppendLogLine(L"File not found: " + imageFileName.Get(), LogColour::Red);
        s.updateStep = kStepEndQuietly;
        return;
    }
    window.AppendLogLine(L"Start Update", LogColour::Blue);
    s.updateStep = 2;
}

void CompareBootloaderVersion(ui::WindowOps& window) {
    uint8_t a = 0, b = 0, c = 0, d = 0;
    device::Device().ReadVersion(0, &a, &b, &c, &d);
    const int32_t version = a << 12 | b << 8 | c << 4 | d;
    if (version != fileBootloaderVersion) {
        s.updateStep = 5;
        return;
    }
    displayText = platform::FormatText(L"Bootloader Version OK %04X", version);
    window.AppendLogLine(displayText, LogColour::Blue);
    s.updateStep = 10;
}

// The parameters are programmed back only when every one was read: writing
// values that were never read would replace the device's own (hardware
// version, date, calibration) with garbage and still end in success.
void ReadSystemParameters(ui::WindowOps& window) {
    bool allRead = true;
    for (int32_t n = 0; n < 64; ++n) {
        int32_t value = 0;
        allRead = (device::Device().ReadSystemParameter(0, n, &value) == 1) && allRead;
        s.parameterValues[n] = value;
    }
    if (!allRead) {
        window.AppendLogLine(L"Read System Parameter ERROR", LogColour::Red);
        ApplyRetryRule(14);
        return;
    }
    window.AppendLogLine(L"Read System Parameter OK", LogColour::Green);
    s.updateStep = 16;
}

void Save(ui::WindowOps& window, const wchar_t* line, device::SaveUserParametersFn save,
          int32_t next) {
    window.AppendLogLine(line, LogColour::Blue);
    if (save(0) != 0) window.AppendLogLine(L"Save OK", LogColour::Green);
    s.updateStep = next;
}

const Stage kBootloaderStage{0, L"Encrypted Bootloader: ", FlashImageWorker, 10};
const Stage kFirmwareStage{1, L"Encrypted Firmware: ", FlashImageWorker, 9};
const Stage kInterpolatorStage{2, L"Encrypted Interpolator Configuration: ", FlashImageWorker, 3};
const Stage kFpgaStage{3, L"Encrypted FPGA Program QDX: ", FpgaTransferWorker,
                       flashAreaTable[11].sectorId - 20};

}  // namespace

void UpdateSequenceStep(ui::WindowOps& window) {
    device::DeviceLibrary& dev = device::Device();
    switch (s.updateStep) {
        case 1: CheckFiles(window); break;
        // Boot loader.
        case 2: EnterBootloader(3); break;
        case 3: WaitForBootloader(4); break;
        case 4: CompareBootloaderVersion(window); break;
        case 5: StartStage(window, kBootloaderStage, 6); break;
        case 6:
            if (WaitForWorker(3)) s.updateStep = 7;
            break;
        case 7:
            if (Restart()) s.restartState = 1;
            s.updateStep = 8;
            break;
        case 8:
            WaitForFirmware(9);
            // Back in the boot loader after the link was opened again, or without
            // the link ever dropping: go on with the firmware either way.
            if (s.restartState == 3 || (s.linkState == 1 && s.delayTicks == 0)) s.updateStep = 10;
            break;
        // Firmware.
        case 9: EnterBootloader(10); break;
        case 10: WaitForBootloader(11); break;
        case 11: StartStage(window, kFirmwareStage, 12); break;
        case 12:
            if (WaitForWorker(10)) s.updateStep = 13;
            break;
        case 13:
            RestartAndClearFile(window, 14);
            s.retryCount = 0;  // the parameter reads count their failures from here
            break;
        // System parameters.
        case 14: WaitForFirmware(15); break;
        case 15: ReadSystemParameters(window); break;
        case 16: EnterBootloader(17); break;
        case 17: WaitForBootloader(18); break;
        case 18:
            BuildSystemParameterImage(window);
            s.updateStep = 19;
            break;
        case 19:
            if (WaitForWorker(17)) {
                s.delayTicks = kSettleTicks;
                s.retryCount = 0;
                s.updateStep = 20;
            }
            break;
        // Interpolator configuration.
        case 20: WaitForDelay(21); break;
        case 21: StartStage(window, kInterpolatorStage, 22); break;
        case 22:
            if (WaitForWorker(20)) s.updateStep = 23;
            break;
        case 23:
            RestartAndClearFile(window, 24);
            s.retryCount = 0;
            break;
        // FPGA configuration.
        case 24: WaitForFirmware(25); break;
        case 25: StartStage(window, kFpgaStage, 26); break;
        case 26:
            if (WaitForWorker(24)) s.updateStep = 27;
            break;
        case 27: RestartAndClearFile(window, 28); break;
        // Saving.
        case 28: WaitForFirmware(29); break;
        case 29: Save(window, L"Save All Module Parameter", dev.SaveModuleParameters, 30); break;
        case 30: Save(window, L"Save All User Parameter", dev.SaveUserParameters, 31); break;
        case 31:
            for (int32_t p = 230; p <= 238; ++p) dev.WriteModuleParameter(0, p, 0);
            s.delayTicks = kSettleTicks;
            s.updateStep = 32;
            break;
        case 32: WaitForDelay(33); break;
        case 33:
            window.AppendLogLine(L"", LogColour::Black);
            window.AppendLogLine(L"QDX-Update OK", LogColour::Green);
            End(window, true);
            break;
        case kStepEndWithError:
            window.AppendLogLine(L"", LogColour::Black);
            window.AppendLogLine(L"QDX-Update ERROR", LogColour::Red);
            End(window, false);
            break;
        case kStepEndQuietly: End(window, false); break;
        default: s.updateStep = 0; break;
    }
}

}  // namespace update
