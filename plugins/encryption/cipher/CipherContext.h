// AES-128 (FIPS-197) in CBC mode (SP 800-38A), in place, without padding.
//
// The operations work on whole 16-byte blocks: a length that is not a
// multiple of 16 still transforms its last block in full, so the buffer must
// hold the length rounded up to a multiple of 16.
#pragma once

#include <cstdint>

namespace vaultine {

constexpr unsigned kAesBlockSize = 16;
constexpr unsigned kAesKeySize = 16;

struct CipherContext
{
    std::uint8_t roundKeys[176]; // 44 key-schedule words, round key r at 16r
    std::uint8_t iv[16];         // chaining value: the last ciphertext block
};

void initCipherContext(CipherContext *ctx, const std::uint8_t *key, const std::uint8_t *iv);
void cbcEncrypt(CipherContext *ctx, std::uint8_t *buffer, std::uint32_t length);
void cbcDecrypt(CipherContext *ctx, std::uint8_t *buffer, std::uint32_t length);

// Number of blocks an operation touches for a given length.
constexpr std::uint32_t cbcBlockCount(std::uint32_t length)
{
    return length == 0 ? 0 : (length - 1) / kAesBlockSize + 1;
}

// The portable engine, always built; the public operations above may pick a
// faster implementation at run time with identical results.
namespace aes_portable {
void encryptBlocks(const CipherContext &ctx, std::uint8_t *chain, std::uint8_t *buffer, std::uint32_t blocks);
void decryptBlocks(const CipherContext &ctx, std::uint8_t *chain, std::uint8_t *buffer, std::uint32_t blocks);
void cbcEncrypt(CipherContext *ctx, std::uint8_t *buffer, std::uint32_t length);
void cbcDecrypt(CipherContext *ctx, std::uint8_t *buffer, std::uint32_t length);
} // namespace aes_portable

} // namespace vaultine
