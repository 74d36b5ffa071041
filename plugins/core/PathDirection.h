// The direction a start of the program asks for its paths: as a drop takes
// them (each file by its header), or all one way (--encrypt, --decrypt).
// Both options at once ask for something that cannot be done.
#pragma once

#include <QByteArray>
#include <QMetaType>

enum class PathDirection { AsDropped, Encrypt, Decrypt, Contradictory };
Q_DECLARE_METATYPE(PathDirection)

// Whether paths handed over bring the window to the front: those of another
// start do, the window's own command line does not.
enum class Raise { ToFront, Stays };

namespace pathdirection {

// The word a hand-over carries; empty for a plain drop.
inline QByteArray toWord(PathDirection direction)
{
    switch (direction) {
    case PathDirection::Encrypt:
        return QByteArrayLiteral("encrypt");
    case PathDirection::Decrypt:
        return QByteArrayLiteral("decrypt");
    case PathDirection::Contradictory:
        return QByteArrayLiteral("both");
    case PathDirection::AsDropped:
        break;
    }
    return QByteArray();
}

// False for a word that names no direction: such a hand-over is refused,
// never taken as a plain drop.
inline bool fromWord(const QByteArray &word, PathDirection *direction)
{
    for (PathDirection known : {PathDirection::Encrypt, PathDirection::Decrypt, PathDirection::Contradictory}) {
        if (word == toWord(known)) {
            *direction = known;
            return true;
        }
    }
    return false;
}

} // namespace pathdirection
