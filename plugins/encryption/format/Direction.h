// Which way a file, a text or a batch goes, and the texts that differ by it.
#pragma once

#include <QString>

namespace vaultine {

enum class Direction { Encrypt, Decrypt };

// One text in both directions, chosen by the direction at hand: no text can
// slip into the other direction's place.
struct DirectedText
{
    QString encrypt;
    QString decrypt;

    const QString &operator[](Direction direction) const { return direction == Direction::Encrypt ? encrypt : decrypt; }
};

} // namespace vaultine
