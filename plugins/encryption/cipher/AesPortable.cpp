// Portable AES-128: the state is four 32-bit columns (row r in bits 8r..8r+7),
// SubBytes/ShiftRows are S-box lookups and MixColumns works on all four bytes
// of a column at once. No round tables, no branches that depend on data.
#include "AesTables.h"
#include "CipherContext.h"

#include <cstring>

namespace {

using std::uint32_t;
using std::uint8_t;
using aes_tables::invSbox;
using aes_tables::sbox;

inline uint32_t load32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void store32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

inline uint32_t rotr(uint32_t v, int n) { return (v >> n) | (v << (32 - n)); }

// xtime of the four bytes of a word at once.
inline uint32_t xtime4(uint32_t x)
{
    return ((x & 0x7f7f7f7fu) << 1) ^ (((x >> 7) & 0x01010101u) * 0x1bu);
}

inline uint32_t mixColumn(uint32_t w)
{
    // s_r ^= t ^ xtime(s_r ^ s_{r+1}), t = s0 ^ s1 ^ s2 ^ s3
    const uint32_t next = rotr(w, 8);
    const uint32_t t = w ^ next ^ rotr(w, 16) ^ rotr(w, 24);
    return w ^ t ^ xtime4(w ^ next);
}

inline uint32_t invMixColumn(uint32_t w)
{
    // Multiplying by {04}x^2 + {05} first turns InvMixColumns into MixColumns.
    const uint32_t u = xtime4(xtime4(w ^ rotr(w, 16)));
    return mixColumn(w ^ u);
}

inline uint8_t byteOf(uint32_t w, int row) { return uint8_t(w >> (8 * row)); }

// SubBytes then ShiftRows: row r of column c comes from column c + r.
inline uint32_t subShift(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return uint32_t(sbox[byteOf(a, 0)]) | uint32_t(sbox[byteOf(b, 1)]) << 8
        | uint32_t(sbox[byteOf(c, 2)]) << 16 | uint32_t(sbox[byteOf(d, 3)]) << 24;
}

// InvShiftRows then InvSubBytes: row r of column c comes from column c - r.
inline uint32_t invSubShift(uint32_t a, uint32_t d, uint32_t c, uint32_t b)
{
    return uint32_t(invSbox[byteOf(a, 0)]) | uint32_t(invSbox[byteOf(d, 1)]) << 8
        | uint32_t(invSbox[byteOf(c, 2)]) << 16 | uint32_t(invSbox[byteOf(b, 3)]) << 24;
}

struct RoundKeys {
    uint32_t w[44];
    explicit RoundKeys(const CipherContext &ctx)
    {
        for (int i = 0; i < 44; ++i)
            w[i] = load32(ctx.roundKeys + 4 * i);
    }
};

inline void encryptState(const RoundKeys &k, uint32_t s[4])
{
    uint32_t s0 = s[0] ^ k.w[0], s1 = s[1] ^ k.w[1], s2 = s[2] ^ k.w[2], s3 = s[3] ^ k.w[3];
    for (int round = 1; round < 10; ++round) {
        const uint32_t *rk = k.w + 4 * round;
        const uint32_t t0 = mixColumn(subShift(s0, s1, s2, s3)) ^ rk[0];
        const uint32_t t1 = mixColumn(subShift(s1, s2, s3, s0)) ^ rk[1];
        const uint32_t t2 = mixColumn(subShift(s2, s3, s0, s1)) ^ rk[2];
        const uint32_t t3 = mixColumn(subShift(s3, s0, s1, s2)) ^ rk[3];
        s0 = t0; s1 = t1; s2 = t2; s3 = t3;
    }
    const uint32_t *rk = k.w + 40;
    s[0] = subShift(s0, s1, s2, s3) ^ rk[0];
    s[1] = subShift(s1, s2, s3, s0) ^ rk[1];
    s[2] = subShift(s2, s3, s0, s1) ^ rk[2];
    s[3] = subShift(s3, s0, s1, s2) ^ rk[3];
}

inline void decryptState(const RoundKeys &k, uint32_t s[4])
{
    uint32_t s0 = s[0] ^ k.w[40], s1 = s[1] ^ k.w[41], s2 = s[2] ^ k.w[42], s3 = s[3] ^ k.w[43];
    for (int round = 9; round > 0; --round) {
        const uint32_t *rk = k.w + 4 * round;
        const uint32_t t0 = invMixColumn(invSubShift(s0, s3, s2, s1) ^ rk[0]);
        const uint32_t t1 = invMixColumn(invSubShift(s1, s0, s3, s2) ^ rk[1]);
        const uint32_t t2 = invMixColumn(invSubShift(s2, s1, s0, s3) ^ rk[2]);
        const uint32_t t3 = invMixColumn(invSubShift(s3, s2, s1, s0) ^ rk[3]);
        s0 = t0; s1 = t1; s2 = t2; s3 = t3;
    }
    s[0] = invSubShift(s0, s3, s2, s1) ^ k.w[0];
    s[1] = invSubShift(s1, s0, s3, s2) ^ k.w[1];
    s[2] = invSubShift(s2, s1, s0, s3) ^ k.w[2];
    s[3] = invSubShift(s3, s2, s1, s0) ^ k.w[3];
}

} // namespace

void initCipherContext(CipherContext *ctx, const uint8_t *key, const uint8_t *iv)
{
    uint8_t *w = ctx->roundKeys;
    std::memcpy(w, key, kAesKeySize);
    for (int i = 4; i < 44; ++i) {
        uint8_t temp[4] = {w[4 * i - 4], w[4 * i - 3], w[4 * i - 2], w[4 * i - 1]};
        if (i % 4 == 0) {
            const uint8_t first = temp[0];
            temp[0] = uint8_t(sbox[temp[1]] ^ aes_tables::rcon[i / 4]);
            temp[1] = sbox[temp[2]];
            temp[2] = sbox[temp[3]];
            temp[3] = sbox[first];
        }
        for (int j = 0; j < 4; ++j)
            w[4 * i + j] = uint8_t(w[4 * i - 16 + j] ^ temp[j]);
    }
    std::memcpy(ctx->iv, iv, kAesBlockSize);
}

namespace aes_portable {

void encryptBlocks(const CipherContext &ctx, uint8_t *chain, uint8_t *buffer, uint32_t blocks)
{
    const RoundKeys keys(ctx);
    uint32_t s[4] = {load32(chain), load32(chain + 4), load32(chain + 8), load32(chain + 12)};
    for (uint32_t b = 0; b < blocks; ++b, buffer += kAesBlockSize) {
        for (int c = 0; c < 4; ++c)
            s[c] ^= load32(buffer + 4 * c);
        encryptState(keys, s);
        for (int c = 0; c < 4; ++c)
            store32(buffer + 4 * c, s[c]);
    }
    for (int c = 0; c < 4; ++c)
        store32(chain + 4 * c, s[c]);
}

void decryptBlocks(const CipherContext &ctx, uint8_t *chain, uint8_t *buffer, uint32_t blocks)
{
    const RoundKeys keys(ctx);
    uint32_t prev[4] = {load32(chain), load32(chain + 4), load32(chain + 8), load32(chain + 12)};
    for (uint32_t b = 0; b < blocks; ++b, buffer += kAesBlockSize) {
        uint32_t cipher[4], s[4];
        for (int c = 0; c < 4; ++c)
            s[c] = cipher[c] = load32(buffer + 4 * c);
        decryptState(keys, s);
        for (int c = 0; c < 4; ++c) {
            store32(buffer + 4 * c, s[c] ^ prev[c]);
            prev[c] = cipher[c];
        }
    }
    for (int c = 0; c < 4; ++c)
        store32(chain + 4 * c, prev[c]);
}

void cbcEncrypt(CipherContext *ctx, uint8_t *buffer, uint32_t length)
{
    encryptBlocks(*ctx, ctx->iv, buffer, cbcBlockCount(length));
}

void cbcDecrypt(CipherContext *ctx, uint8_t *buffer, uint32_t length)
{
    decryptBlocks(*ctx, ctx->iv, buffer, cbcBlockCount(length));
}

} // namespace aes_portable
