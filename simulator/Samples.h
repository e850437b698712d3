// The four sample update files, made here: a 16-byte header ("EBIN", the
// version text, the big-endian start address, four zero bytes) and the
// encrypted image that the simulated device checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace samples {

enum class Kind { Bootloader, Firmware, Interpolator, Fpga };

struct Sample {
    const char* fileName;
    uint32_t startAddress;
    uint32_t contentSize;
    const char* versionText;
};
const Sample& Info(Kind kind);

inline constexpr uint32_t kFpgaPayloadSize = 300000;

// The whole file: header and encrypted contents.
std::vector<uint8_t> FileBytes(Kind kind);

// A header alone, for files made by hand in tests.
std::vector<uint8_t> Header(uint32_t startAddress, const char* versionText);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Writes the four files into `folder`; returns false when one could not be written.
bool WriteAll(const std::string& folder);

}  // namespace samples
