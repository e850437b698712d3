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

int32_t FlashImageWorker(int32_t areaNumber) {
    device::DeviceLibrary& dev = device::Device();
    const FlashArea& area = flashAreaTable[areaNumber];
    const auto sector = static_cast<uint8_t>(area.sectorId);
    const uint32_t firstPage = FirstPage(area);
    const std::wstring name = imageFileName.Get();

    platform::InputFile file;
    if (!OpenUpdateFile(file, name)) {
        // The sequence found the file at its start; it has gone or is held since.
        WorkerRunning(L"");
        return Fail(file, -14, L"Unable to open Input file: " + name, L"");
    }
    WorkerRunning(L"");

    uint8_t header[kHeaderSize] = {};
    const int32_t headerBytes = ReadFully(file, header, kHeaderSize);
    if (headerBytes < 0) return Fail(file, -14, L"File Read ERROR: " + name, L"");
    // A file of 1 to 15 bytes has a header too short to hold an address: the
    // length test below rejects it (as it does an empty file).
    if (headerBytes == static_cast<int32_t>(kHeaderSize)) {
        const uint32_t startAddress = HeaderStartAddress(header);
        if (startAddress != area.start)
            return Fail(file, -10, platform::FormatText(L"Address ERROR: 0x%08X", startAddress), L"");
    }
    uint64_t length = 0;
    if (!file.Length(length)) return Fail(file, -14, L"File Read ERROR: " + name, L"");
    auto contentBytes = static_cast<uint32_t>(length) - static_cast<uint32_t>(kHeaderSize);
    // The length is compared in 32 bits; a file of 4 GiB or more whose low bits
    // happen to match must still be refused, not streamed round the address space.
    const bool beyond32Bits = (length >> 32) != 0;
    if (beyond32Bits) contentBytes = 0xFFFFFFFFu - static_cast<uint32_t>(kHeaderSize);
    if (beyond32Bits || contentBytes != AreaSize(area)) {
        return Fail(file, -13,
                    platform::FormatText(L"Flashsize ERROR: EBIN = %dkB, Flash = %dkB",
                                         contentBytes >> 10, AreaSize(area) >> 10),
                    L"");
    }

    uint8_t block[kBlockSize] = {};
    uint8_t status = 0;
    workerProgress.Set(L"Erase");
    const int32_t erased = dev.EraseSector(0, sector, &status);
    if (erased < 1) return Fail(file, -11, L"Flasher ERROR", L"");
    if (status != 0) return Fail(file, -12, platform::FormatText(L"Erase ERROR %d", status), L"");

    workerProgress.Set(PageProgressText(area, firstPage));
    uint32_t address = area.start;
    uint32_t page = firstPage;
    uint32_t sent = 0;
    for (;;) {
        const int32_t n = ReadFully(file, block, kBlockSize);
        if (n < 0) return Fail(file, -14, L"File Read ERROR: " + name, L"");
        if (n == 0) break;
        sent += static_cast<uint32_t>(n);
        dev.WritePageBlock(0, address & 0xE0u, block, static_cast<int32_t>(kBlockSize));
        address += static_cast<uint32_t>(n);  // wraps to 0 after the boot loader's last page
        if ((address >> kPageShift) == page) continue;

        const int32_t programmed = dev.ProgramPage(0, sector, page, &status);
        if (programmed < 1) return Fail(file, -11, L"Flasher ERROR", L"");
        if (status != 0) {
            return Fail(file, -12,
                        platform::FormatText(L"SMPX = %d: Program ERROR %X", programmed, page),
                        platform::FormatText(L"Program ERROR %X", page));
        }
        workerProgress.Set(PageProgressText(area, page));
        page = address >> kPageShift;
    }
    // A file cut short while it was read (another process truncating it) must
    // not pass for a programmed area.
    if (sent != AreaSize(area)) return Fail(file, -14, L"File Read ERROR: " + name, L"");
    file.Close();
    WorkerSucceeded();
    return 1;
}

}  // namespace update
