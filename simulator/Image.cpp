#include "simulator/Image.h"

namespace sim {

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

uint8_t KeyByte(uint32_t position) {
    uint32_t x = position * 0x9E3779B1u + 0x7F4A7C15u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    return static_cast<uint8_t>(x);
}

std::vector<uint8_t> MakePlainImage(size_t size, std::array<uint8_t, 4> version, uint32_t seed) {
    std::vector<uint8_t> image(size, 0);
    if (size < 12) return image;
    image[0] = 'Q', image[1] = 'D', image[2] = 'X', image[3] = 'I';
    for (size_t i = 0; i < 4; ++i) image[4 + i] = version[i];
    uint32_t state = seed | 1u;
    for (size_t i = 8; i < size - 4; ++i) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        image[i] = static_cast<uint8_t>(state);
    }
    const uint32_t crc = Crc32(image.data(), size - 4);
    for (size_t i = 0; i < 4; ++i) image[size - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    return image;
}

void Crypt(std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= KeyByte(static_cast<uint32_t>(i));
}

bool CheckPlainImage(const std::vector<uint8_t>& plain, std::array<uint8_t, 4>* version) {
    const size_t size = plain.size();
    if (size < 12 || plain[0] != 'Q' || plain[1] != 'D' || plain[2] != 'X' || plain[3] != 'I')
        return false;
    uint32_t stored = 0;
    for (size_t i = 0; i < 4; ++i) stored |= static_cast<uint32_t>(plain[size - 4 + i]) << (8 * i);
    if (stored != Crc32(plain.data(), size - 4)) return false;
    if (version != nullptr)
        for (size_t i = 0; i < 4; ++i) (*version)[i] = plain[4 + i];
    return true;
}

}  // namespace sim
