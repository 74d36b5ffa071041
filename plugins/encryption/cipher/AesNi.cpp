// AES-128-CBC with the x86-64 AES instructions. Only the functions below are
// compiled for the AES extension (target attribute, not a file-wide flag), so
// nothing that the rest of the program might share is built with it.
#include "AesNi.h"

#include <immintrin.h>

#define KEYSTREL_AESNI __attribute__((target("aes,sse4.1")))

namespace vaultine {

namespace {

using std::uint32_t;
using std::uint8_t;

// Blocks decrypted side by side: CBC decryption has no chain between blocks,
// so the AES unit's latency is hidden behind independent work.
constexpr int kDecryptLanes = 8;

KEYSTREL_AESNI inline __m128i load(const uint8_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

KEYSTREL_AESNI inline void store(uint8_t *p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
}

struct EncryptKeys
{
    __m128i k[11];
};

struct DecryptKeys
{
    __m128i k[11]; // k[0] is round key 10, k[10] round key 0
};

KEYSTREL_AESNI inline EncryptKeys loadEncryptKeys(const CipherContext &ctx)
{
    EncryptKeys keys;
    for (int r = 0; r < 11; ++r)
        keys.k[r] = load(ctx.roundKeys + 16 * r);
    return keys;
}

// The equivalent inverse cipher's schedule, derived from the encryption keys:
// InvMixColumns applied to round keys 9 down to 1.
KEYSTREL_AESNI inline DecryptKeys loadDecryptKeys(const CipherContext &ctx)
{
    DecryptKeys keys;
    keys.k[0] = load(ctx.roundKeys + 160);
    for (int r = 1; r < 10; ++r)
        keys.k[r] = _mm_aesimc_si128(load(ctx.roundKeys + 16 * (10 - r)));
    keys.k[10] = load(ctx.roundKeys);
    return keys;
}

KEYSTREL_AESNI inline __m128i encryptRounds1To9(__m128i x, const EncryptKeys &keys)
{
    for (int r = 1; r < 10; ++r)
        x = _mm_aesenc_si128(x, keys.k[r]);
    return x;
}

// Decrypts `lanes` consecutive blocks; `prev` is the ciphertext block before
// the first one. The last round key is folded with the chaining block, so
// aesdeclast yields the plaintext directly.
template <int lanes>
KEYSTREL_AESNI inline __m128i decryptGroup(const DecryptKeys &keys, __m128i prev, uint8_t *buffer)
{
    __m128i cipher[lanes];
    __m128i x[lanes];
#pragma GCC unroll 8
    for (int i = 0; i < lanes; ++i) {
        cipher[i] = load(buffer + 16 * i);
        x[i] = _mm_xor_si128(cipher[i], keys.k[0]);
    }
#pragma GCC unroll 9
    for (int r = 1; r < 10; ++r) {
#pragma GCC unroll 8
        for (int i = 0; i < lanes; ++i)
            x[i] = _mm_aesdec_si128(x[i], keys.k[r]);
    }
#pragma GCC unroll 8
    for (int i = 0; i < lanes; ++i) {
        const __m128i chain = i == 0 ? prev : cipher[i - 1];
        store(buffer + 16 * i, _mm_aesdeclast_si128(x[i], _mm_xor_si128(keys.k[10], chain)));
    }
    return cipher[lanes - 1];
}

} // namespace

namespace aes_ni {

bool supported()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
}

KEYSTREL_AESNI void encryptBlocks(const CipherContext &ctx, uint8_t *chain, uint8_t *buffer, uint32_t blocks)
{
    if (blocks == 0)
        return;
    const EncryptKeys keys = loadEncryptKeys(ctx);
    // Each block depends on the one before, so only the ten AES rounds should
    // sit on that path: the next plaintext block (with round key 0) is folded
    // into the last round key, and aesenclast then yields the next block's
    // state after its first AddRoundKey. The ciphertext is recovered off the
    // path with one XOR.
    __m128i x = _mm_xor_si128(_mm_xor_si128(load(buffer), load(chain)), keys.k[0]);
    for (uint32_t b = 1; b < blocks; ++b, buffer += kAesBlockSize) {
        x = encryptRounds1To9(x, keys);
        const __m128i next = _mm_xor_si128(load(buffer + kAesBlockSize), keys.k[0]);
        x = _mm_aesenclast_si128(x, _mm_xor_si128(keys.k[10], next));
        store(buffer, _mm_xor_si128(x, next));
    }
    const __m128i last = _mm_aesenclast_si128(encryptRounds1To9(x, keys), keys.k[10]);
    store(buffer, last);
    store(chain, last);
}

KEYSTREL_AESNI void decryptBlocks(const CipherContext &ctx, uint8_t *chain, uint8_t *buffer, uint32_t blocks)
{
    if (blocks == 0)
        return;
    const DecryptKeys keys = loadDecryptKeys(ctx);
    __m128i prev = load(chain);
    for (; blocks >= kDecryptLanes; blocks -= kDecryptLanes, buffer += kDecryptLanes * kAesBlockSize)
        prev = decryptGroup<kDecryptLanes>(keys, prev, buffer);
    for (; blocks > 0; --blocks, buffer += kAesBlockSize)
        prev = decryptGroup<1>(keys, prev, buffer);
    store(chain, prev);
}

void cbcEncrypt(CipherContext *ctx, uint8_t *buffer, uint32_t length)
{
    encryptBlocks(*ctx, ctx->iv, buffer, cbcBlockCount(length));
}

void cbcDecrypt(CipherContext *ctx, uint8_t *buffer, uint32_t length)
{
    decryptBlocks(*ctx, ctx->iv, buffer, cbcBlockCount(length));
}

} // namespace aes_ni

} // namespace vaultine
