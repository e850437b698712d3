// The three workers, each the entry of a thread with one integer argument.
// They report only through the worker status and the two worker texts.
#pragma once

#include <cstdint>
#include <string>

#include "platform/File.h"
#include "update/Areas.h"
#include "update/WindowOps.h"

namespace update {

// Programs an update file into flash area 10, 9 or 3 (imageFileName names it).
int32_t FlashImageWorker(int32_t area);

// The checks a worker makes of its opened file before it calls the device
// (FileCheck: code 0 when the file can be used, else the worker's exit code
// and its text).
// Flash: the header's start address, then the length (the header and exactly
// the area). Leaves the file past its header.
FileCheck CheckFlashFile(platform::InputFile& file, const FlashArea& area,
                         const std::wstring& name);

// Erasing an area and programming its pages, shared by the flash and the
// parameter worker. The two word their failures alike but for three points,
// and each keeps its own: the operators and their saved records know these
// lines as they are. The parameter worker shows an erase error in the progress
// line too, and names the status byte (not the page) in its program error,
// with no number after "Program ERROR" in the progress line.
struct FlashWording {
    bool eraseErrorAsProgress;
    bool programErrorNamesPage;
};
inline constexpr FlashWording kFlashImageWording{false, true};
inline constexpr FlashWording kParameterImageWording{true, false};

// A failed erase or program: the exit code and the worker's two texts (code 0
// when the call succeeded).
struct FlashFailure {
    int32_t code = 0;
    std::wstring message;
    std::wstring progress;
};
// Shows "Erase" and erases the area's sector.
FlashFailure EraseArea(const FlashArea& area, const FlashWording& wording);
// Programs one page of the area from the words or blocks sent before.
FlashFailure ProgramAreaPage(const FlashArea& area, uint32_t page, const FlashWording& wording);

// The 2048-byte system parameter area with its checksum, rebuilt from
// parameterValues; logs its line and starts ParameterImageWorker with 2.
inline constexpr int kSystemParameterImageSize = 2048;
extern uint8_t systemParameterImage[kSystemParameterImageSize];
void BuildSystemParameterImage(ui::WindowOps& window);
int32_t ParameterImageWorker(int32_t area);

// Streams the FPGA configuration (imageFileName) to the JTAG programmer. The
// argument's low byte, signed: target = a / 2, encrypted = a % 2 == 1.
int32_t FpgaTransferWorker(int32_t argument);
// Its length can be taken and told to the programmer, and there is data after
// the header (when the argument says encrypted). `payload` gets the bytes to send.
FileCheck CheckFpgaFile(platform::InputFile& file, int32_t argument, const std::wstring& name,
                        int32_t& payload);

}  // namespace update
