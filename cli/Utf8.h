// Strict UTF-8 for the command line: texts must be UTF-8 to be encrypted
// unchanged, and file names must come back byte for byte whatever they hold.
#pragma once

#include <QByteArray>
#include <QString>

namespace utf8 {

// Length of the well-formed character that starts `bytes` (`left` bytes
// there), or 0 when they do not start one.
int characterLength(const char *bytes, int left);

// Offset of the first byte that is not part of a well-formed UTF-8
// character (overlong forms, surrogates and values past U+10FFFF are not),
// or -1 when all of `bytes` is well formed.
int firstInvalidByte(const char *bytes, int size);
inline int firstInvalidByte(const QByteArray &bytes)
{
    return firstInvalidByte(bytes.constData(), bytes.size());
}

// Every byte as it is, zero bytes and a leading byte-order mark included
// (Qt's own conversion drops the mark). Each byte that is not part of a
// well-formed character becomes the lone surrogate U+DC00 + byte, which
// fromEscaped turns back into that byte.
QString toEscaped(const char *bytes, int size);
QByteArray fromEscaped(const QChar *text, int size, int *unencodable = nullptr);

// The codec that keeps file names as the file system has them: for a UTF-8
// (or C) locale. Qt's own turns every byte that is not UTF-8 into U+FFFD,
// and such a name could then neither be opened nor shown unambiguously.
void useForLocale();
bool isLocaleCodec();

} // namespace utf8
