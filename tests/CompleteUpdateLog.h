// What the log shows after a complete update in which the boot loader is
// programmed: text and stored colour of each of its 19 lines. Shared by the
// headless tests and the Windows test driver.
#pragma once

#include <cstdint>

namespace expected {

struct LogEntry {
    const wchar_t* text;
    uint32_t colour;
};

inline constexpr uint32_t kBlack = 0, kBlue = 0x00CD0000, kRed = 0x000000FF, kGreen = 0x0032C832;

// Lines 2 and 3 give way to "Bootloader Version OK 0602" when the versions are equal.
inline constexpr LogEntry kCompleteUpdate[] = {
    {L"Start Update", kBlue},
    {L"Programming BIN-File Encrypted: QDX140-BL0602.Bic", kBlue},
    {L"Programming OK", kGreen},
    {L"Programming BIN-File Encrypted: QDX140-FW2500.Bic", kBlue},
    {L"Programming OK", kGreen},
    {L"Read System Parameter OK", kGreen},
    {L"Programming System Parameter", kBlue},
    {L"Programming OK", kGreen},
    {L"Programming BIN-File Encrypted: QDX140-IP0005.Bic", kBlue},
    {L"Programming OK", kGreen},
    {L"Programming BIN-File Encrypted: QDX140-GA0010.Bic", kBlue},
    {L"Data Transfer OK", kBlack},
    {L"Programming OK", kGreen},
    {L"Save All Module Parameter", kBlue},
    {L"Save OK", kGreen},
    {L"Save All User Parameter", kBlue},
    {L"Save OK", kGreen},
    {L"", kBlack},
    {L"QDX-Update OK", kGreen},
};

}  // namespace expected
