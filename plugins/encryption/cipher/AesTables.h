// The only constant data of the engine: FIPS-197 S-box, inverse S-box and
// round constants.
#pragma once

#include <cstdint>

namespace vaultine {

namespace aes_tables {
extern const std::uint8_t sbox[256];
extern const std::uint8_t invSbox[256];
extern const std::uint8_t rcon[11];
} // namespace aes_tables

} // namespace vaultine
