#include "StringCommand.h"

#include "Console.h"
#include "ExitStatus.h"
#include "Interrupt.h"
#include "SystemError.h"
#include "format/LogLines.h"
#include "strings/StringCrypt.h"

#include <cerrno>
#include <unistd.h>

namespace {

enum class Read { Ok, Failed, Interrupted };

Read readStandardInput(QByteArray *bytes)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got > 0) {
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
QString withoutFinalNewline(QString text)
{
    if (text.endsWith(QLatin1Char('\n'))) {
        text.chop(1);
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1);
    }
    return text;
}

} // namespace

int runStringCommand(StringMode mode, const QString *text, Console &console)
{
    QString work;
    if (text) {
        work = *text;
    } else {
        QByteArray input;
        switch (readStandardInput(&input)) {
        case Read::Ok:
            break;
        case Read::Failed:
            return exitstatus::kFailed;
        case Read::Interrupted:
            return exitstatus::kInterrupted;
        }
        work = QString::fromLocal8Bit(input);
        // Hexadecimal text has no meaningful blanks around it.
        work = mode == StringMode::Encrypt ? withoutFinalNewline(work) : work.trimmed();
    }

    if (mode == StringMode::Encrypt) {
        stringcrypt::encryptString(work, true, console.logger());
        console.result(work.toLatin1() + '\n');
        return exitstatus::kDone;
    }
    // Text that cannot be ciphertext is refused with a line and left as it
    // was; only a decryption logs its result line.
    bool decrypted = false;
    stringcrypt::decryptString(work, true, [&](const QString &line) {
        decrypted = decrypted || line.startsWith(loglines::kDecryptStringResult);
        console.log(line);
    });
    if (!decrypted)
        return exitstatus::kFailed;
    console.result(work.toLocal8Bit() + '\n');
    return exitstatus::kDone;
}
