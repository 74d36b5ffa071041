#include "CbcStream.h"

#include "FixedKey.h"

#include <algorithm>

namespace vaultine {

namespace {

// Largest whole-block piece that fits the engine's 32-bit length.
constexpr std::size_t kMaxPiece = 0xFFFFFFF0u;

} // namespace

CbcStream::CbcStream(bool active)
    : m_context{}
    , m_active(active)
{
    if (!m_active)
        return;
    std::uint8_t key[16];
    std::uint8_t iv[16];
    buildFixedKey(key);
    buildFixedIv(iv);
    initCipherContext(&m_context, key, iv);
}

void CbcStream::encrypt(std::uint8_t *data, std::size_t length)
{
    while (m_active && length > 0) {
        const std::size_t piece = std::min(length, kMaxPiece);
        cbcEncrypt(&m_context, data, std::uint32_t(piece));
        data += piece;
        length -= piece;
    }
}

void CbcStream::decrypt(std::uint8_t *data, std::size_t length)
{
    while (m_active && length > 0) {
        const std::size_t piece = std::min(length, kMaxPiece);
        cbcDecrypt(&m_context, data, std::uint32_t(piece));
        data += piece;
        length -= piece;
    }
}

} // namespace vaultine
