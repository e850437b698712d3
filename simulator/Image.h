// The simulated images: what the sample update files carry and what the
// simulated device accepts. A plain image is "QDXI", four version bytes,
// filler, and a CRC-32 of everything before it in its last four bytes; the
// encrypted form is the plain image XORed with a keystream by position, so a
// lost, repeated or reordered block no longer checks out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

uint32_t Crc32(const uint8_t* data, size_t size);
uint8_t KeyByte(uint32_t position);

std::vector<uint8_t> MakePlainImage(size_t size, std::array<uint8_t, 4> version, uint32_t seed);
void Crypt(std::vector<uint8_t>& bytes);  // encrypts and decrypts alike

// True when a decrypted image has its magic and a matching CRC; gives its version.
bool CheckPlainImage(const std::vector<uint8_t>& plain, std::array<uint8_t, 4>* version);

}  // namespace sim
