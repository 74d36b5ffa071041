#include "StringCrypt.h"

#include "cipher/CbcStream.h"
#include "format/LogLines.h"
#include "format/Marker.h"

#include <cstdlib>

namespace vaultine {

namespace stringcrypt {
namespace {

std::uint8_t *bytes(QByteArray &data)
{
    return reinterpret_cast<std::uint8_t *>(data.data());
}

bool isAscii(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() > 0x7f)
            return false;
    return true;
}

} // namespace

QByteArray parseHexPairs(const QString &text)
{
    QByteArray parsed;
    parsed.reserve(text.size() / 2);
    for (int i = 0; i + 1 < text.size(); i += 2) {
        const char pair[3] = {text.at(i).toLatin1(), text.at(i + 1).toLatin1(), '\0'};
        parsed.append(char(std::strtol(pair, nullptr, 16) & 0xff));
    }
    return parsed;
}

void encryptString(QString &text, bool cipherActive, const LogFn &log)
{
    QByteArray data = text.toUtf8();
    const int length = data.size();
    log(loglines::kStringLength + QString::number(length));
    if (data.contains('\0')
        || (length > 0 && marker::losesTrailingSpaces(std::uint64_t(length), std::uint8_t(data.back()))))
        log(loglines::kStringNotRestorable);
    log(loglines::kStringInput + text);

    data.append(QByteArray(int(marker::paddingFor(std::uint64_t(length))), char(marker::kPaddingByte)));
    CbcStream(cipherActive).encrypt(bytes(data), std::size_t(data.size()));

    text = QString::fromLatin1(data.toHex());
    log(loglines::kStringCipher + text);
}

void decryptString(QString &text, bool cipherActive, const LogFn &log, QByteArray *plainBytes)
{
    const int length = text.toUtf8().size();
    log(loglines::kDecryptStringLength + QString::number(length));
    // Only whole blocks of ASCII hexadecimal text can come from encryption;
    // anything else would need bytes that are not there.
    if (!isAscii(text)) {
        log(loglines::kDecryptStringNotAscii);
        return;
    }
    QByteArray data = parseHexPairs(text);
    if (data.size() % 16 != 0) {
        log(loglines::kDecryptStringBadLength);
        return;
    }
    log(loglines::kDecryptStringCipher + QString::fromLatin1(data.toHex()));

    CbcStream(cipherActive).decrypt(bytes(data), std::size_t(data.size()));
    data.truncate(int(marker::unpaddedLength(bytes(data), std::size_t(data.size()))));
    const int zero = data.indexOf('\0');
    if (zero >= 0)
        data.truncate(zero);

    text = QString::fromUtf8(data);
    log(loglines::kDecryptStringResult + text);
    if (plainBytes)
        *plainBytes = data;
}

} // namespace stringcrypt

} // namespace vaultine
