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

// Asks the device into its boot loader; when it accepts, it settles for a second.
void RequestBootloader() {
    if (device::Device().EnterBootloader(0) != 0) s.delayTicks = kSettleTicks;
}

void EnterBootloader(Step next) {
    RequestBootloader();
    s.retryCount = 0;
    s.updateStep = next;
}

// Restarts the device; true when it accepted.
bool Restart() {
    if (device::Device().RestartDevice(0) == 0) return false;
    s.linkState = kLinkAway;
    s.delayTicks = kSettleTicks;
    return true;
}

void RestartAndClearFile(ui::WindowOps& window) {
    if (Restart()) {
        window.SetFieldText(ui::currentFileField, L" ");
        window.SetFieldText(ui::progressField, L"");
    }
}

void RestartAndClearFile(ui::WindowOps& window, Step next) {
    RestartAndClearFile(window);
    s.updateStep = next;
}

// Waits until the device answers in `mode` and the settle delay has run out.
//
// A device that is away (link down) is waited for without limit: it may take
// long to come back (a driver being installed on the boot loader's first
// connection), and calling an update failed that then completes would be
// worse. A device that answers in the other mode has not followed the request
// that led here: it refused it, or the request was lost on the way. After
// kWrongModeTicks of that the request is sent again, and when kRequestRepeats
// repeats have not moved it either, the update ends naming the request.
void WaitForMode(ui::WindowOps& window, LinkState mode, Step next) {
    if (s.delayTicks != 0 || s.linkState == kLinkAway) return;
    if (s.linkState == mode) {
        s.wrongModeTicks = 0;
        s.requestRepeats = 0;
        s.updateStep = next;
        return;
    }
    if (++s.wrongModeTicks < kWrongModeTicks) return;
    s.wrongModeTicks = 0;
    const bool toBootloader = mode == kLinkBootloader;
    if (s.requestRepeats == kRequestRepeats) {
        s.requestRepeats = 0;
        window.AppendLogLine(toBootloader ? L"Enter Bootloader ERROR: the device runs its firmware"
                                          : L"Restart Device ERROR: the device runs its Bootloader",
                             LogColour::Red);
        s.updateStep = kStepEndWithError;
        return;
    }
    ++s.requestRepeats;
    if (toBootloader) {
        RequestBootloader();
    } else {
        RestartAndClearFile(window);
    }
}
void WaitForBootloader(ui::WindowOps& window, Step next) {
    WaitForMode(window, kLinkBootloader, next);
}
void WaitForFirmware(ui::WindowOps& window, Step next) { WaitForMode(window, kLinkFirmware, next); }
void WaitForDelay(Step next) {
    if (s.delayTicks == 0) s.updateStep = next;
}

struct Stage {
    int row;
    const wchar_t* caption;
    Worker worker;
    int32_t argument;
};

const Stage kBootloaderStage{0, L"Encrypted Bootloader: ", FlashImageWorker, 10};
const Stage kFirmwareStage{1, L"Encrypted Firmware: ", FlashImageWorker, 9};
const Stage kInterpolatorStage{2, L"Encrypted Interpolator Configuration: ", FlashImageWorker, 3};
const Stage kFpgaStage{3, L"Encrypted FPGA Program QDX: ", FpgaTransferWorker,
                       flashAreaTable[11].sectorId - 20};
const Stage* const kStages[] = {&kBootloaderStage, &kFirmwareStage, &kInterpolatorStage,
                                &kFpgaStage};

void StartStage(ui::WindowOps& window, const Stage& stage, Step next) {
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
bool WaitForWorker(Step restartStep) {
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
    s.updateStep = kStepIdle;
}

// ---- the steps with work of their own ------------------------------------------------------

void FileNotFound(ui::WindowOps& window, const std::wstring& name) {
    window.AppendLogLine(L"File not found: " + name, LogColour::Red);
    s.updateStep = kStepEndQuietly;
}

// Each file is tested as its stage will test it, before the device is touched:
// a file its stage would refuse would otherwise be found only after the stages
// before it had changed the device, and retrying does not make a file better.
// False when a file failed: its stage's text is logged and the update ends.
bool FilesFitTheirStages(ui::WindowOps& window) {
    for (const Stage* stage : kStages) {
        const std::wstring name = UpdateFileName(stage->row);
        platform::InputFile file;
        if (!file.Open(name)) {  // gone since it was found a moment ago
            FileNotFound(window, name);
            return false;
        }
        int32_t payload = 0;
        const FileCheck check = stage->worker == FpgaTransferWorker
                                    ? CheckFpgaFile(file, stage->argument, name, payload)
                                    : CheckFlashFile(file, flashAreaTable[stage->argument], name);
        if (check.code == 0) continue;
        window.SetFieldText(ui::currentFileField, stage->caption + name);
        window.AppendLogLine(check.message, LogColour::Red);
        s.updateStep = kStepEndWithError;
        return false;
    }
    return true;
}

void CheckFiles(ui::WindowOps& window) {
    window.ClearLog();
    s.wrongModeTicks = 0;
    s.requestRepeats = 0;
    bool present = ReadBootloaderVersion();
    for (int row = 1; present && row < kUpdateFileCount; ++row) {
        imageFileName.Set(UpdateFileName(row));
        platform::InputFile file;
        present = file.Open(imageFileName.Get());
    }
    if (!present) {
        FileNotFound(window, imageFileName.Get());
        return;
    }
    if (!FilesFitTheirStages(window)) return;
    window.AppendLogLine(L"Start Update", LogColour::Blue);
    s.updateStep = kStepEnterBootloader;
}

void CompareBootloaderVersion(ui::WindowOps& window) {
    uint8_t a = 0, b = 0, c = 0, d = 0;
    // Only a version that was read is compared: the outputs of a failed read
    // are not defined, and taken for a different version they would have the
    // boot loader erased, the one area whose loss leaves the device unable to
    // start. Wait for the boot loader again (the tick reports the link) and
    // read once more.
    if (device::Device().ReadVersion(0, &a, &b, &c, &d) < 0) {
        s.updateStep = kStepWaitBootloader;
        return;
    }
    const int32_t version = a << 12 | b << 8 | c << 4 | d;
    if (version != fileBootloaderVersion) {
        s.updateStep = kStepStartBootloaderStage;
        return;
    }
    displayText = platform::FormatText(L"Bootloader Version OK %04X", version);
    window.AppendLogLine(displayText, LogColour::Blue);
    s.updateStep = kStepWaitBootloaderForFirmware;
}

// The parameters are programmed back only when every one was read: writing
// values that were never read would replace the device's own (hardware
// version, date, calibration) with garbage and still end in success.
void ReadSystemParameters(ui::WindowOps& window) {
    bool allRead = true;
    for (int32_t n = 0; n < kParameterCount; ++n) {
        int32_t value = 0;
        allRead = (device::Device().ReadSystemParameter(0, n, &value) == 1) && allRead;
        s.parameterValues[n] = value;
    }
    if (!allRead) {
        window.AppendLogLine(L"Read System Parameter ERROR", LogColour::Red);
        ApplyRetryRule(kStepWaitFirmwareForParameters);
        return;
    }
    window.AppendLogLine(L"Read System Parameter OK", LogColour::Green);
    s.updateStep = kStepEnterBootloaderForParameters;
}

void Save(ui::WindowOps& window, const wchar_t* line, device::SaveUserParametersFn save,
          Step next) {
    window.AppendLogLine(line, LogColour::Blue);
    if (save(0) != 0) window.AppendLogLine(L"Save OK", LogColour::Green);
    s.updateStep = next;
}

}  // namespace

void UpdateSequenceStep(ui::WindowOps& window) {
    device::DeviceLibrary& dev = device::Device();
    switch (s.updateStep) {
        case kStepCheckFiles: CheckFiles(window); break;
        // Boot loader.
        case kStepEnterBootloader: EnterBootloader(kStepWaitBootloader); break;
        case kStepWaitBootloader: WaitForBootloader(window, kStepCompareBootloaderVersion); break;
        case kStepCompareBootloaderVersion: CompareBootloaderVersion(window); break;
        case kStepStartBootloaderStage:
            StartStage(window, kBootloaderStage, kStepWaitBootloaderStage);
            break;
        case kStepWaitBootloaderStage:
            if (WaitForWorker(kStepWaitBootloader)) s.updateStep = kStepRestartAfterBootloader;
            break;
        case kStepRestartAfterBootloader:
            if (Restart()) s.restartState = kRestartSent;
            s.updateStep = kStepWaitRestartAfterBootloader;
            break;
        case kStepWaitRestartAfterBootloader:
            // Either mode is right here (the boot loader after a programmed one
            // may find no firmware to start), so nothing is sent again.
            if (s.linkState == kLinkFirmware && s.delayTicks == 0)
                s.updateStep = kStepEnterBootloaderForFirmware;
            // Back in the boot loader after the link was opened again, or without
            // the link ever dropping: go on with the firmware either way.
            if (s.restartState == kRestartInBootloader ||
                (s.linkState == kLinkBootloader && s.delayTicks == 0))
                s.updateStep = kStepWaitBootloaderForFirmware;
            break;
        // Firmware.
        case kStepEnterBootloaderForFirmware:
            EnterBootloader(kStepWaitBootloaderForFirmware);
            break;
        case kStepWaitBootloaderForFirmware:
            WaitForBootloader(window, kStepStartFirmwareStage);
            break;
        case kStepStartFirmwareStage:
            StartStage(window, kFirmwareStage, kStepWaitFirmwareStage);
            break;
        case kStepWaitFirmwareStage:
            if (WaitForWorker(kStepWaitBootloaderForFirmware))
                s.updateStep = kStepRestartAfterFirmware;
            break;
        case kStepRestartAfterFirmware:
            RestartAndClearFile(window, kStepWaitFirmwareForParameters);
            s.retryCount = 0;  // the parameter reads count their failures from here
            break;
        // System parameters.
        case kStepWaitFirmwareForParameters: WaitForFirmware(window, kStepReadParameters); break;
        case kStepReadParameters: ReadSystemParameters(window); break;
        case kStepEnterBootloaderForParameters:
            EnterBootloader(kStepWaitBootloaderForParameters);
            break;
        case kStepWaitBootloaderForParameters:
            WaitForBootloader(window, kStepStartParameterStage);
            break;
        case kStepStartParameterStage:
            BuildSystemParameterImage(window);
            s.updateStep = kStepWaitParameterStage;
            break;
        case kStepWaitParameterStage:
            if (WaitForWorker(kStepWaitBootloaderForParameters)) {
                s.delayTicks = kSettleTicks;
                s.retryCount = 0;
                s.updateStep = kStepSettleBeforeInterpolator;
            }
            break;
        // Interpolator configuration.
        case kStepSettleBeforeInterpolator: WaitForDelay(kStepStartInterpolatorStage); break;
        case kStepStartInterpolatorStage:
            StartStage(window, kInterpolatorStage, kStepWaitInterpolatorStage);
            break;
        case kStepWaitInterpolatorStage:
            if (WaitForWorker(kStepSettleBeforeInterpolator))
                s.updateStep = kStepRestartAfterInterpolator;
            break;
        case kStepRestartAfterInterpolator:
            RestartAndClearFile(window, kStepWaitFirmwareForFpga);
            s.retryCount = 0;
            break;
        // FPGA configuration.
        case kStepWaitFirmwareForFpga: WaitForFirmware(window, kStepStartFpgaStage); break;
        case kStepStartFpgaStage: StartStage(window, kFpgaStage, kStepWaitFpgaStage); break;
        case kStepWaitFpgaStage:
            if (WaitForWorker(kStepWaitFirmwareForFpga)) s.updateStep = kStepRestartAfterFpga;
            break;
        case kStepRestartAfterFpga: RestartAndClearFile(window, kStepWaitFirmwareForSaving); break;
        // Saving.
        case kStepWaitFirmwareForSaving: WaitForFirmware(window, kStepSaveModuleParameters); break;
        case kStepSaveModuleParameters:
            Save(window, L"Save All Module Parameter", dev.SaveModuleParameters,
                 kStepSaveUserParameters);
            break;
        case kStepSaveUserParameters:
            Save(window, L"Save All User Parameter", dev.SaveUserParameters,
                 kStepClearModuleParameters);
            break;
        case kStepClearModuleParameters:
            for (int32_t p = 230; p <= 238; ++p) dev.WriteModuleParameter(0, p, 0);
            s.delayTicks = kSettleTicks;
            s.updateStep = kStepSettleBeforeEnd;
            break;
        case kStepSettleBeforeEnd: WaitForDelay(kStepEndOk); break;
        case kStepEndOk:
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
        default: s.updateStep = kStepIdle; break;
    }
}

}  // namespace update
