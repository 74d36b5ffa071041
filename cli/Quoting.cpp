#include "Quoting.h"

#include "Utf8.h"

#include <cstring>

namespace quoting {
namespace {

bool isControl(uchar byte)
{
    return byte < 0x20 || byte == 0x7F;
}

// A C1 control, U+0080 to U+009F, in its UTF-8 form.
bool isC1Control(const char *at, int length)
{
    return length == 2 && uchar(at[0]) == 0xC2 && uchar(at[1]) <= 0x9F;
}

void appendEscape(QByteArray &out, uchar byte)
{
    static const char kShort[] = "abtnvfr"; // 0x07 to 0x0D
    out += '\\';
    if (byte >= 0x07 && byte <= 0x0D) {
        out += kShort[byte - 0x07];
    } else {
        out += char('0' + (byte >> 6));
        out += char('0' + ((byte >> 3) & 7));
        out += char('0' + (byte & 7));
    }
}

// `name` with every unusual byte escaped; `quotes` escapes the quote and
// the backslash too. Sets *changed when anything was escaped.
QByteArray escaped(const QByteArray &name, bool quotes, bool *changed)
{
    QByteArray out;
    out.reserve(name.size() + 2);
    const char *p = name.constData();
    const int size = name.size();
    for (int i = 0; i < size;) {
        const int length = utf8::characterLength(p + i, size - i);
        if (length == 0 || isC1Control(p + i, length)) {
            const int bytes = length == 0 ? 1 : length;
            for (int b = 0; b < bytes; ++b)
                appendEscape(out, uchar(p[i + b]));
            i += bytes;
            *changed = true;
        } else if (length == 1 && isControl(uchar(p[i]))) {
            appendEscape(out, uchar(p[i++]));
            *changed = true;
        } else if (length == 1 && quotes && (p[i] == '"' || p[i] == '\\')) {
            out += '\\';
            out += p[i++];
            *changed = true;
        } else {
            out.append(p + i, length);
            i += length;
        }
    }
    return out;
}

// Characters that cmd.exe or PowerShell read as their own outside quotes.
bool needsWindowsQuotes(char c)
{
    static const char kSpecial[] = " &()[]{}^=;!'+,`~%$@#";
    return c == '\t' || (c != '\0' && std::strchr(kSpecial, c) != nullptr);
}

QByteArray windowsName(const QByteArray &name)
{
    QByteArray out;
    out.reserve(name.size() + 2);
    bool quote = false;
    const char *p = name.constData();
    const int size = name.size();
    for (int i = 0; i < size;) {
        const int length = utf8::characterLength(p + i, size - i);
        if (length == 0 || isC1Control(p + i, length) || (length == 1 && isControl(uchar(p[i])))) {
            out += '?';
            i += length == 0 ? 1 : length;
            continue;
        }
        quote = quote || (length == 1 && needsWindowsQuotes(p[i]));
        out.append(p + i, length);
        i += length;
    }
    return quote ? '"' + out + '"' : out;
}

} // namespace

QByteArray quotedName(const QByteArray &name, Style style)
{
    if (style == Style::Windows)
        return windowsName(name);
    bool changed = false;
    const QByteArray body = escaped(name, true, &changed);
    return changed ? '"' + body + '"' : name;
}

QByteArray escapedLine(const QByteArray &line)
{
    bool changed = false;
    return escaped(line, false, &changed);
}

} // namespace quoting
