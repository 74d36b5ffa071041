#include "FixedKey.h"

namespace vaultine {

namespace {

void storeWordsLittleEndian(std::uint8_t out[16], const std::uint32_t words[4])
{
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 4; ++b)
            out[4 * i + b] = std::uint8_t(words[i] >> (8 * b));
}

} // namespace

void buildFixedKey(std::uint8_t key[16])
{
    const std::uint32_t words[4] = {0xb0928b4bu, 0x1fb40cf1u, 0xbc9c1dd9u, 0x833f0242u};
    storeWordsLittleEndian(key, words);
}

void buildFixedIv(std::uint8_t iv[16])
{
    const std::uint32_t words[4] = {0x44305d5eu, 0xff762034u, 0x65f8941au, 0x7af41532u};
    storeWordsLittleEndian(iv, words);
}

} // namespace vaultine
