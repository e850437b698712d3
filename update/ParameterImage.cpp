// The system parameter area rebuilt from the parameters read from the device:
// 64 values, 0xFF filler, a byte-sum checksum and its complement; written in
// plain form, four bytes at a time, a page programmed every 256 bytes.
#include "device/DeviceLibrary.h"
#include "update/Areas.h"
#include "update/UpdateState.h"
#include "update/Workers.h"

namespace update {

uint8_t systemParameterImage[kSystemParameterImageSize];

namespace {

constexpr int kChecksumOffset = 2032;
constexpr int kComplementOffset = 2036;

void StoreLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// This worker holds no file: a failure is published and its code returned.
int32_t Fail(const FlashFailure& failure) {
    WorkerFailed(failure.message, failure.progress);
    return failure.code;
}

}  // namespace

void BuildSystemParameterImage(ui::WindowOps& window) {
    uint8_t* image = systemParameterImage;
    for (uint8_t& b : systemParameterImage) b = 0xFF;
    for (int i = 0; i < kParameterCount; ++i)
        StoreLe32(image + 4 * i, static_cast<uint32_t>(updateState.parameterValues[i]));
    StoreLe32(image + kChecksumOffset, 0);
    uint32_t sum = 0;
    for (uint8_t b : systemParameterImage) sum += b;
    StoreLe32(image + kChecksumOffset, sum);
    StoreLe32(image + kComplementOffset, ~sum);
    window.AppendLogLine(L"Programming System Parameter", ui::LogColour::Blue);
    updateState.parameterImagePointer = image;
    StartWorker(ParameterImageWorker, 2);
}

int32_t ParameterImageWorker(int32_t areaNumber) {
    device::DeviceLibrary& dev = device::Device();
    const FlashArea& area = parameterAreaTable[areaNumber];
    const uint8_t* image = updateState.parameterImagePointer;

    WorkerRunning(L"");
    const FlashFailure erase = EraseArea(area, kParameterImageWording);
    if (erase.code != 0) return Fail(erase);
    workerProgress.Set(PageProgressText(area, FirstPage(area)));
    for (uint32_t k = 0; k < static_cast<uint32_t>(kSystemParameterImageSize); k += 4) {
        const uint32_t address = area.start + k;
        dev.WritePageWord(0, address & 0xFCu, image[k], image[k + 1], image[k + 2], image[k + 3]);
        if ((k + 4) % 256 != 0) continue;
        const uint32_t page = address >> kPageShift;
        const FlashFailure program = ProgramAreaPage(area, page, kParameterImageWording);
        if (program.code != 0) return Fail(program);
        workerProgress.Set(PageProgressText(area, page));
    }
    WorkerSucceeded();
    return kExitDone;
}

}  // namespace update
