// The device's memory areas, the update files, and the header of an update
// file (16 bytes: four not read, the boot-loader version text, the big-endian
// start address, four not read; then the area's encrypted contents).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/File.h"

namespace update {

// An area by number: only what the workers use (each row's letter and name
// stand beside it as a comment).
struct FlashArea {
    int8_t sectorId;
    uint32_t start;
    uint32_t end;  // last byte, inclusive
};

struct UpdateFile {
    char fileName[250];
};

inline constexpr int kAreaCount = 13;
inline constexpr int kUpdateFileCount = 4;
extern const FlashArea flashAreaTable[kAreaCount];
extern const FlashArea parameterAreaTable[3];               // the first three areas as plain areas
extern const UpdateFile updateFileTable[kUpdateFileCount];  // in the order of their stages

inline constexpr size_t kHeaderSize = 16;
inline constexpr uint32_t kPageShift = 8;

// Size, first page and page span of an area, in unsigned 32-bit arithmetic.
inline uint32_t AreaSize(const FlashArea& a) { return a.end - a.start + 1u; }
inline uint32_t FirstPage(const FlashArea& a) { return a.start >> kPageShift; }
inline uint32_t PageSpan(const FlashArea& a) { return (a.end - a.start) >> kPageShift; }

// A flash worker's progress after `page`: "%d%%   %X", the percentage of the
// area's pages done (rounded down, in 8 bits) and the page number.
std::wstring PageProgressText(const FlashArea& area, uint32_t page);

// Header bytes 8 to 11, most significant first.
uint32_t HeaderStartAddress(const uint8_t* header);

// The version at header offset 4, read as "%04x" reads it: blanks skipped, at
// most four hex digits, never past the 16 header bytes; 0 when none.
int32_t HeaderVersion(const uint8_t* header, size_t headerBytes);

// The workers' exit codes. Nothing reads them (the worker status and texts
// carry the result), so they keep the values they have always had, and two
// names share -10. The FPGA worker also returns the link's and the
// programmer's own codes.
enum WorkerExit : int32_t {
    kExitDone = 1,
    kExitAddress = -10,       // flash: the header's start address is not the area's
    kExitFpgaFile = -10,      // FPGA: the input file cannot be opened, read or used
    kExitFlasher = -11,       // an erase or program call failed
    kExitFlashStatus = -12,   // an erase or program reported a bad status
    kExitLength = -13,        // flash: the file's length does not fit the area
    kExitFlashFile = -14,     // flash: the input file cannot be opened or read
    kExitFpgaTimeout = -256,  // FPGA: the programmer stood still (beyond its own codes 0 to -255)
};

// The checks of a flash area's file before anything is erased: the header's
// start address (when the file holds a whole header), then the length. Code 0
// and an empty text when the file fits the area; otherwise kExitAddress or
// kExitLength and the "Address ERROR" or "Flashsize ERROR" text.
struct FileCheck {
    int32_t code = 0;
    std::wstring message;
};
FileCheck CheckAreaFile(const FlashArea& area, const uint8_t* header, size_t headerBytes,
                        uint64_t length);

// An update file by its table name, made wide with this thread's code page.
std::wstring UpdateFileName(int row);

// Sets imageFileName to row 0's name, opens it and reads fileBootloaderVersion.
// False when the file cannot be opened (the version is then left alone).
bool ReadBootloaderVersion();

}  // namespace update
