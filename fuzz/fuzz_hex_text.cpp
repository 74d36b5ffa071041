// Text typed or pasted for string decryption, taken as UTF-8: the pairwise
// parse, the refusals, and the round trip through encryption.
#include "FuzzLog.h"
#include "Reference.h"
#include "strings/StringCrypt.h"

#include <QString>

using namespace vaultine;

namespace {

bool isAscii(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() > 0x7f)
            return false;
    return true;
}

bool isLowerHex(const QString &text)
{
    for (const QChar c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

void checkParse(const QString &text)
{
    const QByteArray parsed = stringcrypt::parseHexPairs(text);
    FUZZ_CHECK(parsed.size() == text.size() / 2);
    for (int i = 0; i < parsed.size(); ++i)
        FUZZ_CHECK(parsed.at(i) == reference::pairValue(text.at(2 * i).toLatin1(), text.at(2 * i + 1).toLatin1()));
}

void checkDecrypt(const QString &text, bool active)
{
    QString result = text;
    stringcrypt::decryptString(result, active, fuzzlog::record);
    const QStringList lines = fuzzlog::take();
    FUZZ_CHECK(lines.value(0) == QStringLiteral("解密：长度：") + QString::number(text.toUtf8().size()));

    const QByteArray parsed = stringcrypt::parseHexPairs(text);
    if (!isAscii(text) || parsed.size() % 16 != 0) {
        // Refused: the text stays, and the log says why in one more line.
        FUZZ_CHECK(result == text);
        FUZZ_CHECK(lines.size() == 2);
        return;
    }
    FUZZ_CHECK(lines.size() == 3);
    FUZZ_CHECK(lines.at(1) == QStringLiteral("原始二进制字符串：") + QString::fromLatin1(parsed.toHex()));
    FUZZ_CHECK(lines.at(2) == QStringLiteral("解密字符串：") + result);
    if (!active) {
        // Nothing to decrypt: the parsed bytes, unpadded, up to a zero byte.
        FUZZ_CHECK(result == QString::fromUtf8(reference::cutAtZero(reference::unpadded(parsed))));
    }
}

void checkRoundTrip(const QString &text, bool active)
{
    const QByteArray utf8 = text.toUtf8();
    QString cipher = text;
    stringcrypt::encryptString(cipher, active, fuzzlog::record);
    const QByteArray padded = reference::padded(utf8);
    FUZZ_CHECK(cipher.size() == 2 * padded.size());
    FUZZ_CHECK(isLowerHex(cipher));
    FUZZ_CHECK(cipher.toLatin1() == reference::encrypted(padded, active).toHex());
    const QStringList lines = fuzzlog::take();
    // A warning line joins the three when the text cannot come back whole.
    const bool lossy = utf8.contains('\0') || reference::unpadded(padded).size() != utf8.size();
    FUZZ_CHECK(lines.size() == (lossy ? 4 : 3));

    QString back = cipher;
    stringcrypt::decryptString(back, active, fuzzlog::record);
    fuzzlog::take();
    FUZZ_CHECK(back == QString::fromUtf8(reference::cutAtZero(reference::unpadded(padded))));
    if (!lossy)
        FUZZ_CHECK(back == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    checkParse(text);
    checkDecrypt(text, true);
    checkDecrypt(text, false);
    checkRoundTrip(text, true);
    checkRoundTrip(text, false);
    return 0;
}
