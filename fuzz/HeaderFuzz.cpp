// Fuzzes the two reads of an update file's header: the big-endian start
// address and the boot-loader version text at offset 4. The input stands for
// the first bytes of a file, of which the version read may see at most 16.
//
// The version is checked against the C library's own "%04x" conversion on the
// same text (bytes 4 to 15, ended by the first zero byte), so any difference
// in blanks, signs, a "0x" prefix, the width of four or odd bytes is found.
// The header is copied into a block of exactly its size, so that AddressSanitizer
// catches a read past the bytes the file really has.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "update/Areas.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t n = size < update::kHeaderSize ? size : update::kHeaderSize;
    std::unique_ptr<uint8_t[]> header(new uint8_t[n == 0 ? 1 : n]);
    if (n > 0) std::memcpy(header.get(), data, n);

    const int32_t version = update::HeaderVersion(header.get(), n);

    const std::string text =
        n > 4 ? std::string(reinterpret_cast<const char*>(header.get()) + 4, n - 4) : std::string();
    unsigned int scanned = 0;
    const int32_t expected =
        std::sscanf(text.c_str(), "%04x", &scanned) == 1 ? static_cast<int32_t>(scanned) : 0;
    if (version != expected) {
        std::fprintf(stderr, "version %d, the C library reads %d\n", version, expected);
        std::abort();
    }

    if (n == update::kHeaderSize) {
        const uint32_t address = update::HeaderStartAddress(header.get());
        const uint32_t bigEndian = static_cast<uint32_t>(data[8]) << 24 |
                                   static_cast<uint32_t>(data[9]) << 16 |
                                   static_cast<uint32_t>(data[10]) << 8 | data[11];
        if (address != bigEndian) std::abort();
    }
    return 0;
}
