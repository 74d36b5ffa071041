// Text <-> lower-case hexadecimal text of its AES-128-CBC ciphertext.
#pragma once

#include "LogFn.h"

#include <QByteArray>
#include <QString>

namespace vaultine {

namespace stringcrypt {

// Replaces `text` with the hexadecimal ciphertext of its UTF-8 bytes padded
// with spaces; logs the length, the input and the result.
void encryptString(QString &text, bool cipherActive, const LogFn &log);

// Replaces `text`, hexadecimal ciphertext, with the decrypted string. Text
// that cannot hold whole blocks, or holds non-ASCII characters, is refused
// with a log line and left as it was. `plainBytes`, when given, receives the
// bytes the decrypted string was made from (they may not be UTF-8).
void decryptString(QString &text, bool cipherActive, const LogFn &log, QByteArray *plainBytes = nullptr);

// Pairwise parse of hexadecimal text with strtol's rules: either case, a
// leading blank or sign allowed, a pair without a leading digit gives 0, a
// last unpaired character is ignored.
QByteArray parseHexPairs(const QString &text);

} // namespace stringcrypt

} // namespace vaultine
