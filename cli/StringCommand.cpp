#include "StringCommand.h"

#include "Console.h"
#include "ConsoleText.h"
#include "ExitStatus.h"
#include "Interrupt.h"
#include "SystemError.h"
#include "Utf8.h"
#include "format/LogLines.h"
#include "strings/StringCrypt.h"

#include <QTextCodec>

#include <cerrno>

using namespace vaultine;

namespace {

// The string operations hold a text several times over (its bytes, the
// text, the hexadecimal text and the log lines made of them): about ten
// bytes of memory for each byte of text. Beyond this they are refused.
constexpr int kTextLimit = 8 * 1024 * 1024;
// What the longest text encrypts to, with room for blanks around it.
constexpr int kHexLimit = 2 * kTextLimit + 4096;

enum class Read { Ok, TooLong, Failed, Interrupted };

// At most `limit` bytes; stops reading (TooLong) at the byte after them.
Read readStandardInput(QByteArray *bytes, int limit)
{
    char buffer[65536];
    for (;;) {
        const qint64 got = consoletext::readInput(buffer, qint64(sizeof buffer));
        if (got > 0) {
            if (qint64(bytes->size()) + got > limit)
                return Read::TooLong;
            bytes->append(buffer, int(got));
        } else if (got == 0) {
            return Read::Ok;
        } else if (errno == EINTR) {
            if (interrupt::requested())
                return Read::Interrupted;
        } else {
            Console::error(QStringLiteral("standard input: ") + systemErrorText(errno));
            return Read::Failed;
        }
    }
}

// What a pipe or a file gives: the text, less the newline that ends it
// ("echo text |"), so that it encrypts as the same text given as argument.
void dropFinalNewline(QByteArray &bytes)
{
    if (bytes.endsWith('\n')) {
        bytes.chop(1);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
    }
}

QString limitText(StringMode mode)
{
    return mode == StringMode::Encrypt ? QStringLiteral("8 MiB of text")
                                       : QStringLiteral("16 MiB of hexadecimal text (what 8 MiB of text give)");
}

// The text of `bytes`, every byte of it: only what decodes without loss is
// taken, since the text's own bytes are what is encrypted. False (and said
// why) otherwise.
bool decodeText(StringMode mode, const QByteArray &bytes, const QString &source, QString *text)
{
    const QString hint = mode == StringMode::Encrypt
                             ? QStringLiteral(": refused, it could not be encrypted unchanged ('keystrel-cli encrypt "
                                              "FILE' takes any bytes)")
                             : QStringLiteral(": refused");
    if (utf8::isLocaleCodec()) {
        const int invalid = utf8::firstInvalidByte(bytes);
        if (invalid < 0) {
            // Qt's own conversion would stop at a zero byte and drop a
            // leading byte-order mark.
            *text = utf8::toEscaped(bytes.constData(), bytes.size());
            return true;
        }
        Console::error(
            QStringLiteral("%1 is not UTF-8 (byte %2 is not part of a character)").arg(source).arg(invalid + 1) + hint);
        return false;
    }
    QTextCodec *codec = QTextCodec::codecForLocale();
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    *text = codec->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return true;
    Console::error(QStringLiteral("%1 is not %2").arg(source, QString::fromLatin1(codec->name())) + hint);
    return false;
}

// The argument or standard input, bounded, checked and decoded.
int readText(StringMode mode, const QByteArray *argument, QString *text)
{
    const int limit = mode == StringMode::Encrypt ? kTextLimit : kHexLimit;
    const QString source = !argument                     ? QStringLiteral("standard input")
                           : mode == StringMode::Encrypt ? QStringLiteral("TEXT")
                                                         : QStringLiteral("HEX");
    QByteArray bytes;
    Read read = Read::Ok;
    if (argument)
        bytes = *argument;
    else // the final newline does not count towards the limit
        read = readStandardInput(&bytes, mode == StringMode::Encrypt ? limit + 2 : limit);
    if (read == Read::Failed)
        return exitstatus::kFailed;
    if (read == Read::Interrupted)
        return exitstatus::kInterrupted;
    if (!argument && mode == StringMode::Encrypt)
        dropFinalNewline(bytes);
    if (read == Read::TooLong || bytes.size() > limit) {
        Console::error(QStringLiteral("%1 holds more than %2: refused (files of any size: 'keystrel-cli %3 FILE')")
                           .arg(source, limitText(mode),
                                mode == StringMode::Encrypt ? QStringLiteral("encrypt") : QStringLiteral("decrypt")));
        return exitstatus::kFailed;
    }
    if (!decodeText(mode, bytes, source, text))
        return exitstatus::kFailed;
    // Hexadecimal text has no meaningful blanks around it.
    if (!argument && mode == StringMode::Decrypt)
        *text = text->trimmed();
    return exitstatus::kDone;
}

// The decryption's own bytes when the terminal can take them as they are;
// otherwise the text as the form shows it, and a warning.
int printDecrypted(const QString &text, const QByteArray &bytes, Console &console)
{
    const bool wellFormed = utf8::firstInvalidByte(bytes) < 0;
    if (utf8::isLocaleCodec()) {
        console.result((wellFormed ? bytes : text.toUtf8()) + '\n');
        if (wellFormed)
            return exitstatus::kDone;
    } else {
        QTextCodec::ConverterState state;
        console.result(QTextCodec::codecForLocale()->fromUnicode(text.constData(), text.size(), &state) + '\n');
        if (wellFormed && state.invalidChars == 0)
            return exitstatus::kDone;
    }
    Console::error(QStringLiteral("the decrypted bytes are not text in the terminal's encoding: printed as the "
                                  "form shows them, with a replacement character for each that is not"));
    return exitstatus::kFailed;
}

} // namespace

int runStringCommand(StringMode mode, const QByteArray *text, Console &console)
{
    QString work;
    const int read = readText(mode, text, &work);
    if (read != exitstatus::kDone)
        return read;

    if (mode == StringMode::Encrypt) {
        stringcrypt::encryptString(work, true, console.logger());
        console.result(work.toLatin1() + '\n');
        return exitstatus::kDone;
    }
    // Text that cannot be ciphertext is refused with a line and left as it
    // was; only a decryption logs its result line.
    bool decrypted = false;
    QByteArray plain;
    stringcrypt::decryptString(
        work, true,
        [&](const QString &line) {
            decrypted = decrypted || line.startsWith(loglines::kDecryptStringResult);
            console.log(line);
        },
        &plain);
    if (!decrypted)
        return exitstatus::kFailed;
    return printDecrypted(work, plain, console);
}
