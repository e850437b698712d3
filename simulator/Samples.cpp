#include "simulator/Samples.h"

#include <cstdio>
#include <cstring>

#include "simulator/Image.h"

namespace samples {

const Sample& Info(Kind kind) {
    static const Sample table[] = {
        {"QDX140-BL0602.Bic", 0xFFFFC000u, 16384, "0602"},
        {"QDX140-FW2500.Bic", 0xFFFE0000u, 98304, "2500"},
        {"QDX140-IP0005.Bic", 0x00106800u, 2048, "0005"},
        {"QDX140-GA0010.Bic", 0x00000000u, kFpgaPayloadSize, "0010"},
    };
    return table[static_cast<int>(kind)];
}

std::vector<uint8_t> Header(uint32_t startAddress, const char* versionText) {
    std::vector<uint8_t> header(16, 0);
    std::memcpy(header.data(), "EBIN", 4);
    for (size_t i = 0; i < 4 && versionText[i] != '\0'; ++i)
        header[4 + i] = static_cast<uint8_t>(versionText[i]);
    for (size_t i = 0; i < 4; ++i)
        header[8 + i] = static_cast<uint8_t>(startAddress >> (24 - 8 * i));
    return header;
}

std::vector<uint8_t> FileBytes(Kind kind) {
    const Sample& s = Info(kind);
    // The image carries the version it installs: 0.6.0.2 for boot loader 0602,
    // 2.5.0.0 for firmware 2500, and so on (the FPGA's as a 32-bit number).
    const auto digit = [&](int i) { return static_cast<uint8_t>(s.versionText[i] - '0'); };
    std::array<uint8_t, 4> version{digit(0), digit(1), digit(2), digit(3)};
    if (kind == Kind::Fpga) version = {0x10, 0x00, 0x10, 0x00};
    std::vector<uint8_t> image =
        sim::MakePlainImage(s.contentSize, version, 0x5EED0000u + static_cast<uint32_t>(kind));
    sim::Crypt(image);
    std::vector<uint8_t> file = Header(s.startAddress, s.versionText);
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool WriteAll(const std::string& folder) {
    for (Kind kind : {Kind::Bootloader, Kind::Firmware, Kind::Interpolator, Kind::Fpga}) {
        if (!WriteFile(folder + "/" + Info(kind).fileName, FileBytes(kind))) return false;
    }
    return true;
}

}  // namespace samples
