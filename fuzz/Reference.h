// The marker rules written out a second time, plainly, so that the fuzzers
// compare the real code against something it does not share.
#pragma once

#include <QByteArray>

#include "cipher/CbcStream.h"

namespace reference {

inline QByteArray header()
{
    return QByteArray("has been encrypt", 16) + '\0';
}

inline bool isMarked(const QByteArray &file)
{
    return file.size() >= 17 && file.left(17) == header();
}

inline QByteArray padded(QByteArray plain)
{
    while (plain.size() % 16 != 0)
        plain.append(' ');
    return plain;
}

// Up to 15 trailing spaces go; the byte 16 places from the end stays.
inline QByteArray unpadded(const QByteArray &data)
{
    int end = data.size();
    while (end > 0 && data.size() - end < 15 && data.at(end - 1) == ' ')
        --end;
    return data.left(end);
}

inline QByteArray cutAtZero(const QByteArray &data)
{
    const int zero = data.indexOf('\0');
    return zero < 0 ? data : data.left(zero);
}

// One CBC pass over the whole message at once.
inline QByteArray encrypted(QByteArray data, bool active = true)
{
    vaultine::CbcStream(active).encrypt(reinterpret_cast<std::uint8_t *>(data.data()), std::size_t(data.size()));
    return data;
}

inline QByteArray decrypted(QByteArray data, bool active = true)
{
    vaultine::CbcStream(active).decrypt(reinterpret_cast<std::uint8_t *>(data.data()), std::size_t(data.size()));
    return data;
}

inline int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

inline bool isCSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// What strtol(pair, 16) & 0xff gives for a two-character string.
inline char pairValue(char first, char second)
{
    const int a = hexValue(first);
    const int b = hexValue(second);
    if (a >= 0)
        return char(b >= 0 ? a * 16 + b : a);
    if (b < 0)
        return 0;
    if (isCSpace(first) || first == '+')
        return char(b);
    if (first == '-')
        return char(-b & 0xff);
    return 0;
}

} // namespace reference
