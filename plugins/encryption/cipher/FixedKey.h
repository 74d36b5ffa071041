// The key and IV that every file and string of this tool is encrypted under.
// They ship with the program: never change them, or nothing encrypted so far
// can be decrypted again.
#pragma once

#include <cstdint>

namespace vaultine {

// Each fills 16 bytes from four constant 32-bit words stored little-endian.
void buildFixedKey(std::uint8_t key[16]);
void buildFixedIv(std::uint8_t iv[16]);

} // namespace vaultine
