#include "Utf8.h"

#include <QTextCodec>

namespace utf8 {
namespace {

constexpr ushort kEscapeBase = 0xDC00;

bool isContinuation(uchar byte, uchar low = 0x80, uchar high = 0xBF)
{
    return byte >= low && byte <= high;
}

// Length of the well-formed character at `p` (the table of well-formed
// byte sequences in the Unicode standard), or 0.
int characterLength(const uchar *p, int left)
{
    const uchar lead = p[0];
    if (lead < 0x80)
        return 1;
    int length = 0;
    uchar low = 0x80, high = 0xBF; // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong form
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (left < length || !isContinuation(p[1], low, high))
        return 0;
    for (int i = 2; i < length; ++i) {
        if (!isContinuation(p[i]))
            return 0;
    }
    return length;
}

char32_t decodeCharacter(const uchar *p, int length)
{
    static const uchar kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t value = p[0] & kLeadMask[length];
    for (int i = 1; i < length; ++i)
        value = (value << 6) | (p[i] & 0x3F);
    return value;
}

void appendCharacter(QByteArray &out, char32_t value)
{
    if (value < 0x80) {
        out += char(value);
    } else if (value < 0x800) {
        out += char(0xC0 | (value >> 6));
        out += char(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += char(0xE0 | (value >> 12));
        out += char(0x80 | ((value >> 6) & 0x3F));
        out += char(0x80 | (value & 0x3F));
    } else {
        out += char(0xF0 | (value >> 18));
        out += char(0x80 | ((value >> 12) & 0x3F));
        out += char(0x80 | ((value >> 6) & 0x3F));
        out += char(0x80 | (value & 0x3F));
    }
}

class NameCodec : public QTextCodec
{
public:
    QByteArray name() const override { return QByteArrayLiteral("UTF-8 (keystrel-cli, bytes kept)"); }
    // No registered number: never found in place of Qt's own UTF-8 codec.
    int mibEnum() const override { return -4106; }

protected:
    // Whole strings only: the command line never decodes in pieces.
    QString convertToUnicode(const char *in, int length, ConverterState *) const override
    {
        return toEscaped(in, length);
    }
    QByteArray convertFromUnicode(const QChar *in, int length, ConverterState *state) const override
    {
        int unencodable = 0;
        QByteArray bytes = fromEscaped(in, length, &unencodable);
        if (state)
            state->invalidChars += unencodable;
        return bytes;
    }
};

NameCodec *g_codec = nullptr;

} // namespace

int characterLength(const char *bytes, int left)
{
    return left > 0 ? characterLength(reinterpret_cast<const uchar *>(bytes), left) : 0;
}

int firstInvalidByte(const char *bytes, int size)
{
    const uchar *p = reinterpret_cast<const uchar *>(bytes);
    for (int i = 0; i < size;) {
        const int length = characterLength(p + i, size - i);
        if (length == 0)
            return i;
        i += length;
    }
    return -1;
}

QString toEscaped(const char *bytes, int size)
{
    const uchar *p = reinterpret_cast<const uchar *>(bytes);
    QString text;
    text.reserve(size);
    for (int i = 0; i < size;) {
        const int length = characterLength(p + i, size - i);
        if (length == 0) {
            text += QChar(ushort(kEscapeBase + p[i]));
            ++i;
            continue;
        }
        const char32_t value = decodeCharacter(p + i, length);
        if (QChar::requiresSurrogates(value)) {
            text += QChar(QChar::highSurrogate(value));
            text += QChar(QChar::lowSurrogate(value));
        } else {
            text += QChar(ushort(value));
        }
        i += length;
    }
    return text;
}

QByteArray fromEscaped(const QChar *text, int size, int *unencodable)
{
    QByteArray out;
    out.reserve(size);
    for (int i = 0; i < size; ++i) {
        const ushort unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            appendCharacter(out, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            out += char(unit - kEscapeBase);
        } else if (QChar::isSurrogate(unit)) {
            out += '?'; // cannot come from toEscaped
            if (unencodable)
                ++*unencodable;
        } else {
            appendCharacter(out, unit);
        }
    }
    return out;
}

void useForLocale()
{
    if (!g_codec)
        g_codec = new NameCodec; // Qt owns every codec made
    QTextCodec::setCodecForLocale(g_codec);
}

bool isLocaleCodec()
{
    return g_codec && QTextCodec::codecForLocale() == g_codec;
}

} // namespace utf8
