// Programs one update file into one flash area: checks the header's start
// address and the file's length against the area, erases the area, then sends
// the contents in 32-byte blocks and programs each 256-byte page.
#include "device/DeviceLibrary.h"
#include "platform/Text.h"
#include "update/Areas.h"
#include "update/UpdateState.h"
#include "update/Workers.h"

namespace update {
namespace {

constexpr uint32_t kBlockSize = 32;

// The file is let go before the result is told: the window thread may start
// the stage's next attempt at once, and that worker opens the same file
// without sharing.
int32_t Fail(platform::InputFile& file, int32_t code, const std::wstring& message,
             const std::wstring& progress) {
    file.Close();
    WorkerFailed(message, progress);
    return code;
}
int32_t Fail(platform::InputFile& file, const FlashFailure& failure) {
    return Fail(file, failure.code, failure.message, failure.progress);
}

// Reads up to `count` bytes, across short reads; -1 when a read fails.
int32_t ReadFully(platform::InputFile& file, uint8_t* buffer, uint32_t count) {
    uint32_t have = 0;
    while (have < count) {
        const int32_t n = file.Read(buffer + have, count - have);
        if (n < 0) return -1;
        if (n == 0) break;
        have += static_cast<uint32_t>(n);
    }
    return static_cast<int32_t>(have);
}

}  // namespace

FileCheck CheckFlashFile(platform::InputFile& file, const FlashArea& area,
                         const std::wstring& name) {
    uint8_t header[kHeaderSize] = {};
    const int32_t headerBytes = ReadFully(file, header, kHeaderSize);
    if (headerBytes < 0) return {kExitFlashFile, L"File Read ERROR: " + name};
    uint64_t length = 0;
    if (!file.Length(length)) return {kExitFlashFile, L"File Read ERROR: " + name};
    return CheckAreaFile(area, header, static_cast<size_t>(headerBytes), length);
}

FlashFailure EraseArea(const FlashArea& area, const FlashWording& wording) {
    uint8_t status = 0;
    workerProgress.Set(L"Erase");
    const int32_t erased =
        device::Device().EraseSector(0, static_cast<uint8_t>(area.sectorId), &status);
    if (erased < 1) return {kExitFlasher, L"Flasher ERROR", L""};
    if (status == 0) return {};
    const std::wstring text = platform::FormatText(L"Erase ERROR %d", status);
    return {kExitFlashStatus, text, wording.eraseErrorAsProgress ? text : L""};
}

FlashFailure ProgramAreaPage(const FlashArea& area, uint32_t page, const FlashWording& wording) {
    uint8_t status = 0;
    const int32_t programmed =
        device::Device().ProgramPage(0, static_cast<uint8_t>(area.sectorId), page, &status);
    if (programmed < 1) return {kExitFlasher, L"Flasher ERROR", L""};
    if (status == 0) return {};
    if (wording.programErrorNamesPage) {
        return {kExitFlashStatus,
                platform::FormatText(L"SMPX = %d: Program ERROR %X", programmed, page),
                platform::FormatText(L"Program ERROR %X", page)};
    }
    return {kExitFlashStatus,
            platform::FormatText(L"SMPX = %d: Program ERROR %X", programmed, status),
            L"Program ERROR"};
}

int32_t FlashImageWorker(int32_t areaNumber) {
    device::DeviceLibrary& dev = device::Device();
    const FlashArea& area = flashAreaTable[areaNumber];
    const uint32_t firstPage = FirstPage(area);
    const std::wstring name = imageFileName.Get();

    platform::InputFile file;
    if (!file.Open(name)) {
        // The sequence found the file at its start; it has gone or is held since.
        WorkerRunning(L"");
        return Fail(file, kExitFlashFile, L"Unable to open Input file: " + name, L"");
    }
    WorkerRunning(L"");

    const FileCheck check = CheckFlashFile(file, area, name);
    if (check.code != 0) return Fail(file, check.code, check.message, L"");

    const FlashFailure erase = EraseArea(area, kFlashImageWording);
    if (erase.code != 0) return Fail(file, erase);

    workerProgress.Set(PageProgressText(area, firstPage));
    uint32_t address = area.start;
    uint32_t page = firstPage;
    // Exactly the pages of the length checked above, whatever the file does
    // meanwhile: a file that grows must not push pages past the area's end.
    // The file is read a page at a time (one read, not eight, per page).
    uint8_t pageBytes[1u << kPageShift];
    for (uint32_t sent = 0; sent < AreaSize(area); sent += sizeof pageBytes) {
        if (ReadFully(file, pageBytes, sizeof pageBytes) != static_cast<int32_t>(sizeof pageBytes))
            return Fail(file, kExitFlashFile, L"File Read ERROR: " + name, L"");  // or cut short
        for (uint32_t offset = 0; offset < sizeof pageBytes; offset += kBlockSize) {
            dev.WritePageBlock(0, address & 0xE0u, pageBytes + offset,
                               static_cast<int32_t>(kBlockSize));
            address += kBlockSize;  // wraps to 0 after the boot loader's last page
        }

        const FlashFailure program = ProgramAreaPage(area, page, kFlashImageWording);
        if (program.code != 0) return Fail(file, program);
        workerProgress.Set(PageProgressText(area, page));
        page = address >> kPageShift;
    }
    // The file must still be the one checked: a file that changed its length
    // while it was sent (appended to, or cut and refilled) did not give the
    // area what was checked.
    // (The check passed, so the file held its header and exactly the area.)
    uint64_t lengthNow = 0;
    uint8_t beyond = 0;
    if (ReadFully(file, &beyond, 1) != 0 || !file.Length(lengthNow) ||
        lengthNow != kHeaderSize + AreaSize(area))
        return Fail(file, kExitFlashFile, L"File Read ERROR: " + name, L"");
    file.Close();
    WorkerSucceeded();
    return kExitDone;
}

}  // namespace update
