// SHA-256 of a byte stream, fed in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ui::record {

class Sha256 {
public:
    Sha256();
    void Add(const void* data, size_t size);
    // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
    std::string FinishHex();

private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t totalBytes_ = 0;
};

}  // namespace ui::record
