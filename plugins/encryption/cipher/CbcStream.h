// One CBC message under the fixed key and IV, fed in as many pieces as the
// caller likes: the chain continues from one call to the next. A stream made
// for an unknown algorithm passes the bytes through unchanged.
#pragma once

#include "CipherContext.h"

#include <cstddef>
#include <cstdint>

namespace vaultine {

class CbcStream
{
public:
    explicit CbcStream(bool active);

    bool isActive() const { return m_active; }

    // Lengths are rounded up to whole blocks, like the engine's.
    void encrypt(std::uint8_t *data, std::size_t length);
    void decrypt(std::uint8_t *data, std::size_t length);

private:
    CipherContext m_context;
    bool m_active;
};

} // namespace vaultine
