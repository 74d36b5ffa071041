#include "StderrMirror.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace {

// The string operations log the text the user typed and the text a
// decryption gave back. The ciphertext lines count as the text too: the key
// is built into the program, so anyone with it turns them back into the text.
const char *const kWindowOnlyPrefixes[] = {
    "原始字符串：",       // the text to encrypt
    "解密字符串：",       // the decrypted text
    "加密二进制：",       // its ciphertext
    "原始二进制字符串：", // the ciphertext to decrypt
};

} // namespace

namespace StderrMirror {

bool isOn()
{
    static const bool on = qgetenv("KEYSTREL_LOG_TO_STDERR") == "1";
    return on;
}

bool isWindowOnly(const QString &line)
{
    for (const char *prefix : kWindowOnlyPrefixes) {
        if (line.startsWith(QString::fromUtf8(prefix)))
            return true;
    }
    return false;
}

void write(const QString &line, const QString &stamped)
{
    if (!isOn() || isWindowOnly(line))
        return;
    // One write per line keeps lines whole when stderr is shared.
    const QByteArray bytes = stamped.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace StderrMirror
