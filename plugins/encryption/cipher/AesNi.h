// The x86-64 AES instruction path of the engine. It reads the same
// CipherContext as the portable engine (the decryption round keys are derived
// per call) and gives the same bytes and the same chaining value in `iv`.
#pragma once

#include "CipherContext.h"

namespace vaultine {

// The implementation behind cbcEncrypt and cbcDecrypt in this process:
// "aes-ni" or "portable". Chosen once, at first use.
const char *activeAesEngine();

#ifdef KEYSTREL_HAVE_AESNI
namespace aes_ni {
// True when the processor offers the AES and SSE4.1 instructions; the other
// functions of this namespace may be called only then.
bool supported();

void encryptBlocks(const CipherContext &ctx, std::uint8_t *chain, std::uint8_t *buffer, std::uint32_t blocks);
void decryptBlocks(const CipherContext &ctx, std::uint8_t *chain, std::uint8_t *buffer, std::uint32_t blocks);
void cbcEncrypt(CipherContext *ctx, std::uint8_t *buffer, std::uint32_t length);
void cbcDecrypt(CipherContext *ctx, std::uint8_t *buffer, std::uint32_t length);
} // namespace aes_ni
#endif

} // namespace vaultine
