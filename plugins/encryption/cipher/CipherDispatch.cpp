// Public engine entry points. A build with the hardware path uses the AES
// instructions when the processor offers them, the portable engine otherwise;
// both give the same bytes.
#include "AesNi.h"
#include "CipherContext.h"

namespace vaultine {

namespace {

enum class Engine { Portable, AesNi };

Engine chooseEngine()
{
#ifdef KEYSTREL_HAVE_AESNI
    if (aes_ni::supported())
        return Engine::AesNi;
#endif
    return Engine::Portable;
}

Engine activeEngine()
{
    static const Engine engine = chooseEngine();
    return engine;
}

} // namespace

const char *activeAesEngine()
{
    return activeEngine() == Engine::AesNi ? "aes-ni" : "portable";
}

void cbcEncrypt(CipherContext *ctx, std::uint8_t *buffer, std::uint32_t length)
{
#ifdef KEYSTREL_HAVE_AESNI
    if (activeEngine() == Engine::AesNi) {
        aes_ni::cbcEncrypt(ctx, buffer, length);
        return;
    }
#endif
    aes_portable::cbcEncrypt(ctx, buffer, length);
}

void cbcDecrypt(CipherContext *ctx, std::uint8_t *buffer, std::uint32_t length)
{
#ifdef KEYSTREL_HAVE_AESNI
    if (activeEngine() == Engine::AesNi) {
        aes_ni::cbcDecrypt(ctx, buffer, length);
        return;
    }
#endif
    aes_portable::cbcDecrypt(ctx, buffer, length);
}

} // namespace vaultine
