// Portable AES-128. The state is held as four 32-bit rows (byte c of row r is
// the state byte of row r, column c), so ShiftRows is folded into the S-box
// gather and MixColumns works on all four columns of a row at once, without
// rotating bytes inside a column. Only the S-box, the inverse S-box and the
// round constants are used; no round tables, no branches that depend on data.
// Blocks and round keys are transposed between byte order and rows on the
// way in and out.
#include "AesTables.h"
#include "CipherContext.h"

#include <cstring>

namespace vaultine {

namespace {

using aes_tables::invSbox;
using aes_tables::sbox;
using std::uint32_t;
using std::uint8_t;

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

// xtime of the four bytes of a word at once.
inline uint32_t xtime4(uint32_t x)
{
    return ((x & 0x7f7f7f7fu) << 1) ^ (((x >> 7) & 0x01010101u) * 0x1bu);
}

struct State
{
    uint32_t r0, r1, r2, r3;
};

// Swaps byte k of word i with byte i of word k: the four column words of a
// block become its four rows, and back.
inline void transpose(uint32_t &w0, uint32_t &w1, uint32_t &w2, uint32_t &w3)
{
    uint32_t t = ((w0 >> 8) ^ w1) & 0x00ff00ffu;
    w1 ^= t;
    w0 ^= t << 8;
    t = ((w2 >> 8) ^ w3) & 0x00ff00ffu;
    w3 ^= t;
    w2 ^= t << 8;
    t = ((w0 >> 16) ^ w2) & 0x0000ffffu;
    w2 ^= t;
    w0 ^= t << 16;
    t = ((w1 >> 16) ^ w3) & 0x0000ffffu;
    w3 ^= t;
    w1 ^= t << 16;
}

inline State loadState(const uint8_t *p)
{
    State s{load32(p), load32(p + 4), load32(p + 8), load32(p + 12)};
    transpose(s.r0, s.r1, s.r2, s.r3);
    return s;
}

inline void storeState(uint8_t *p, State s)
{
    transpose(s.r0, s.r1, s.r2, s.r3);
    store32(p, s.r0);
    store32(p + 4, s.r1);
    store32(p + 8, s.r2);
    store32(p + 12, s.r3);
}

inline State operator^(const State &a, const State &b)
{
    return {a.r0 ^ b.r0, a.r1 ^ b.r1, a.r2 ^ b.r2, a.r3 ^ b.r3};
}

// SubBytes and ShiftRows of row r: the byte of column (c + r) mod 4 lands in
// column c. The bytes are joined pairwise, which keeps the dependency chain
// of a round short.
template <int r>
inline uint32_t subShiftRow(uint32_t row)
{
    const uint32_t b[4] = {sbox[row & 0xffu], sbox[(row >> 8) & 0xffu], sbox[(row >> 16) & 0xffu], sbox[row >> 24]};
    return (b[r & 3] | b[(r + 1) & 3] << 8) | (b[(r + 2) & 3] << 16 | b[(r + 3) & 3] << 24);
}

// InvShiftRows and InvSubBytes of row r: the byte of column c lands in
// column (c + r) mod 4.
template <int r>
inline uint32_t invSubShiftRow(uint32_t row)
{
    const uint32_t b[4] = {invSbox[row & 0xffu], invSbox[(row >> 8) & 0xffu], invSbox[(row >> 16) & 0xffu],
                           invSbox[row >> 24]};
    return (b[(4 - r) & 3] | b[(5 - r) & 3] << 8) | (b[(6 - r) & 3] << 16 | b[(7 - r) & 3] << 24);
}

inline State subShift(const State &s)
{
    return {subShiftRow<0>(s.r0), subShiftRow<1>(s.r1), subShiftRow<2>(s.r2), subShiftRow<3>(s.r3)};
}

inline State invSubShift(const State &s)
{
    return {invSubShiftRow<0>(s.r0), invSubShiftRow<1>(s.r1), invSubShiftRow<2>(s.r2), invSubShiftRow<3>(s.r3)};
}

// s_r ^= t ^ xtime(s_r ^ s_{r+1}) with t = s0 ^ s1 ^ s2 ^ s3, for every
// column of the row at once.
inline State mixColumns(const State &s)
{
    const uint32_t t = s.r0 ^ s.r1 ^ s.r2 ^ s.r3;
    return {s.r0 ^ t ^ xtime4(s.r0 ^ s.r1), s.r1 ^ t ^ xtime4(s.r1 ^ s.r2), s.r2 ^ t ^ xtime4(s.r2 ^ s.r3),
            s.r3 ^ t ^ xtime4(s.r3 ^ s.r0)};
}

// Multiplying by {04}x^2 + {05} first turns InvMixColumns into MixColumns:
// rows 0 and 2 both take {04}(s0 ^ s2), rows 1 and 3 both {04}(s1 ^ s3).
inline State invMixColumns(const State &s)
{
    const uint32_t even = xtime4(xtime4(s.r0 ^ s.r2));
    const uint32_t odd = xtime4(xtime4(s.r1 ^ s.r3));
    return mixColumns({s.r0 ^ even, s.r1 ^ odd, s.r2 ^ even, s.r3 ^ odd});
}

// The context's round keys as rows, made once per call.
struct RoundKeys
{
    State k[11];
    explicit RoundKeys(const CipherContext &ctx)
    {
        for (int r = 0; r < 11; ++r)
            k[r] = loadState(ctx.roundKeys + 16 * r);
    }
};

inline State encryptState(const RoundKeys &keys, State s)
{
    s = s ^ keys.k[0];
    for (int round = 1; round < 10; ++round)
        s = mixColumns(subShift(s)) ^ keys.k[round];
    return subShift(s) ^ keys.k[10];
}

inline State decryptState(const RoundKeys &keys, State s)
{
    s = s ^ keys.k[10];
    for (int round = 9; round > 0; --round)
        s = invMixColumns(invSubShift(s) ^ keys.k[round]);
    return invSubShift(s) ^ keys.k[0];
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
    State s = loadState(chain);
    for (uint32_t b = 0; b < blocks; ++b, buffer += kAesBlockSize) {
        s = encryptState(keys, s ^ loadState(buffer));
        storeState(buffer, s);
    }
    storeState(chain, s);
}

void decryptBlocks(const CipherContext &ctx, uint8_t *chain, uint8_t *buffer, uint32_t blocks)
{
    const RoundKeys keys(ctx);
    State prev = loadState(chain);
    for (uint32_t b = 0; b < blocks; ++b, buffer += kAesBlockSize) {
        const State cipher = loadState(buffer);
        storeState(buffer, decryptState(keys, cipher) ^ prev);
        prev = cipher;
    }
    storeState(chain, prev);
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

} // namespace vaultine
