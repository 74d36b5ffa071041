#include "LogText.h"

#include <QByteArray>

namespace logtext {
namespace {

bool needsEscape(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

void appendEscape(QString &out, uchar byte)
{
    static const char kShort[] = "abtnvfr"; // 0x07 to 0x0D
    out += QLatin1Char('\\');
    if (byte >= 0x07 && byte <= 0x0D) {
        out += QLatin1Char(kShort[byte - 0x07]);
    } else {
        out += QLatin1Char(char('0' + (byte >> 6)));
        out += QLatin1Char(char('0' + ((byte >> 3) & 7)));
        out += QLatin1Char(char('0' + (byte & 7)));
    }
}

} // namespace

QString shown(const QString &line)
{
    const QChar *begin = line.constData();
    const QChar *end = begin + line.size();
    const QChar *first = begin;
    while (first != end && !needsEscape(first->unicode()))
        ++first;
    if (first == end)
        return line; // the common case: shared, not copied

    QString out;
    out.reserve(line.size() + 8);
    out.append(begin, int(first - begin));
    for (const QChar *c = first; c != end; ++c) {
        if (!needsEscape(c->unicode())) {
            out += *c;
            continue;
        }
        // Each byte of its UTF-8 form: one for C0 and DEL.
        for (const char byte : QString(*c).toUtf8())
            appendEscape(out, uchar(byte));
    }
    return out;
}

} // namespace logtext
