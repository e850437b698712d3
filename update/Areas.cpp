#include "update/Areas.h"

#include <cctype>

#include "platform/Text.h"
#include "update/UpdateState.h"

namespace update {

const FlashArea flashAreaTable[kAreaCount] = {
    {2, 0x00104000u, 0x001047FFu},   //  0 P Encrypted Parameter
    {3, 0x00105000u, 0x001057FFu},   //  1 U Encrypted User Parameter
    {4, 0x00106000u, 0x001067FFu},   //  2 S Encrypted System Parameter
    {5, 0x00106800u, 0x00106FFFu},   //  3 I Encrypted Interpolator Configuration
    {6, 0x00107000u, 0x001077FFu},   //  4 T Encrypted Motor Sinustable
    {7, 0xFFF80000u, 0xFFF8FFFFu},   //  5 0 Encrypted User Flash 0
    {8, 0xFFF90000u, 0xFFF9FFFFu},   //  6 1 Encrypted User Flash 1
    {9, 0xFFFA0000u, 0xFFFAFFFFu},   //  7 2 Encrypted User Flash 2
    {10, 0xFFFB0000u, 0xFFFBFFFFu},  //  8 3 Encrypted User Flash 3
    {1, 0xFFFE0000u, 0xFFFF7FFFu},   //  9 F Encrypted Firmware
    {0, 0xFFFFC000u, 0xFFFFFFFFu},   // 10 B Encrypted Bootloader
    {21, 0, 0},                      // 11 G Encrypted FPGA Program QDX (not flash)
    {23, 0, 0},                      // 12 G Encrypted FPGA Program RVQ (not flash)
};

const FlashArea parameterAreaTable[3] = {
    {2, 0x00104000u, 0x001047FFu},  // 0 P Parameter
    {3, 0x00105000u, 0x001057FFu},  // 1 U User Parameter
    {4, 0x00106000u, 0x001067FFu},  // 2 S System Parameter
};

const UpdateFile updateFileTable[kUpdateFileCount] = {
    {"QDX140-BL0602.Bic"},  // area 10
    {"QDX140-FW2500.Bic"},  // area 9
    {"QDX140-IP0005.Bic"},  // area 3
    {"QDX140-GA0010.Bic"},  // area 11
};

std::wstring PageProgressText(const FlashArea& area, uint32_t page) {
    const auto percentage = static_cast<uint8_t>((page - FirstPage(area)) * 100u / PageSpan(area));
    return platform::FormatText(L"%d%%   %X", percentage, page);
}

uint32_t HeaderStartAddress(const uint8_t* header) {
    return static_cast<uint32_t>(header[8]) << 24 | static_cast<uint32_t>(header[9]) << 16 |
           static_cast<uint32_t>(header[10]) << 8 | static_cast<uint32_t>(header[11]);
}

int32_t HeaderVersion(const uint8_t* header, size_t headerBytes) {
    const size_t end = headerBytes < kHeaderSize ? headerBytes : kHeaderSize;
    size_t i = 4;
    // Like scanf: white space first (blank, tab, newline, vertical tab, form feed, return).
    while (i < end && (header[i] == ' ' || (header[i] >= '\t' && header[i] <= '\r'))) ++i;
    // scanf's %x also takes a sign and a "0x" prefix within its width of four.
    int32_t value = 0, digits = 0, width = 0;
    bool negative = false;
    if (i < end && (header[i] == '+' || header[i] == '-')) {
        negative = header[i] == '-';
        ++i, ++width;
    }
    if (i + 1 < end && width + 2 <= 4 && header[i] == '0' && (header[i + 1] | 0x20) == 'x' &&
        i + 2 < end && std::isxdigit(header[i + 2])) {
        i += 2, width += 2, digits = 1;  // the 0 of the prefix counts as a digit read
    }
    for (; i < end && width < 4 && std::isxdigit(header[i]); ++i, ++width, ++digits) {
        const int c = header[i];
        value = value * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    if (digits == 0) return 0;
    return negative ? -value : value;
}

FileCheck CheckAreaFile(const FlashArea& area, const uint8_t* header, size_t headerBytes,
                        uint64_t length) {
    // A file of 1 to 15 bytes has a header too short to hold an address: the
    // length test rejects it (as it does an empty file).
    if (headerBytes >= kHeaderSize) {
        const uint32_t startAddress = HeaderStartAddress(header);
        if (startAddress != area.start)
            return {kExitAddress, platform::FormatText(L"Address ERROR: 0x%08X", startAddress)};
    }
    // The length is compared in 32 bits; a file of 4 GiB or more whose low bits
    // happen to match must still be refused, not streamed round the address
    // space. The message shows the contents' real size: nothing for a file
    // shorter than its header, the most 32 bits hold for a huge one.
    const bool beyond32Bits = (length >> 32) != 0;
    uint32_t contentBytes = 0;
    if (beyond32Bits)
        contentBytes = 0xFFFFFFFFu - static_cast<uint32_t>(kHeaderSize);
    else if (length > kHeaderSize)
        contentBytes = static_cast<uint32_t>(length - kHeaderSize);
    if (beyond32Bits || contentBytes != AreaSize(area)) {
        return {kExitLength, platform::FormatText(L"Flashsize ERROR: EBIN = %dkB, Flash = %dkB",
                                                  contentBytes >> 10, AreaSize(area) >> 10)};
    }
    return {};
}

std::wstring UpdateFileName(int row) { return platform::AnsiToWide(updateFileTable[row].fileName); }

bool ReadBootloaderVersion() {
    imageFileName.Set(UpdateFileName(0));
    platform::InputFile file;
    if (!file.Open(imageFileName.Get())) return false;
    fileBootloaderVersion = 0;
    uint8_t header[kHeaderSize] = {};
    size_t have = 0;
    while (have < kHeaderSize) {
        const int32_t n = file.Read(header + have, static_cast<uint32_t>(kHeaderSize - have));
        if (n <= 0) break;
        have += static_cast<size_t>(n);
    }
    // A file shorter than its header has no version beyond the bytes it has.
    fileBootloaderVersion = HeaderVersion(header, have);
    file.Close();
    return true;
}

}  // namespace update
