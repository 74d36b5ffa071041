// Public engine entry points. They use the portable engine; a build with the
// hardware path routes through it when the processor offers AES instructions.
#include "CipherContext.h"

void cbcEncrypt(CipherContext *ctx, std::uint8_t *buffer, std::uint32_t length)
{
    aes_portable::cbcEncrypt(ctx, buffer, length);
}

void cbcDecrypt(CipherContext *ctx, std::uint8_t *buffer, std::uint32_t length)
{
    aes_portable::cbcDecrypt(ctx, buffer, length);
}
