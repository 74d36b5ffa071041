// keystrel-cli's string commands, usage and environment: the same
// hexadecimal text as the form's own code and openssl, through arguments and
// standard input; refusals and usage errors with their exit status; no text
// on standard error; no display and no GUI library; the installed files.
#include "CliRun.h"
#include "FileTestUtils.h"
#include "LogRecorder.h"
#include "form/Form.h"
#include "format/LogLines.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace vaultine;

namespace {

QString formEncrypted(const QString &plain)
{
    Form form;
    QString text = plain;
    form.encryptString(text);
    logrecorder::clear();
    return text;
}

QString formDecrypted(const QString &hex)
{
    Form form;
    QString text = hex;
    form.decryptString(text);
    logrecorder::clear();
    return text;
}

// Standard error may end in a log file: no line carries a text, and the
// text appears nowhere in it.
void verifyNoText(const clirun::Result &result, const QString &text)
{
    for (const QString &line : result.errLines)
        QVERIFY2(!loglines::carriesUserText(line), qPrintable(line));
    if (!text.trimmed().isEmpty())
        QVERIFY2(!QString::fromUtf8(result.err).contains(text), result.err.constData());
}

// The hexadecimal ciphertext of `plain`, any bytes, as the form's cipher
// makes it (padded with spaces).
QString cipherHex(QByteArray plain)
{
    plain.append(QByteArray((16 - plain.size() % 16) % 16, ' '));
    Form form;
    form.encryptBuffer(reinterpret_cast<unsigned char *>(plain.data()), plain.size());
    return QString::fromLatin1(plain.toHex());
}

// The command as a shell runs it, with arguments that Qt cannot pass (any
// bytes, printf's octal escapes).
clirun::Options throughShell(const QString &arguments)
{
    clirun::Options options;
    options.wrapper = QStringList{"sh", "-c", "exec \"$0\" " + arguments};
    return options;
}

QStringList textArgument(const char *command, const QString &text)
{
    QStringList arguments{QLatin1String(command)};
    if (text.startsWith(QLatin1Char('-')))
        arguments << QStringLiteral("--");
    return arguments << text;
}

} // namespace

class TestCliTexts : public QObject
{
    Q_OBJECT

private slots:
    void roundTrips_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::newRow("ASCII") << "attack at dawn";
        QTest::newRow("Chinese") << "你好，世界：明天见";
        QTest::newRow("empty") << "";
        QTest::newRow("lines and emoji") << "Grüße 😀\nzweite Zeile";
        QTest::newRow("300 letters") << QString(300, 'q');
        QTest::newRow("leading dash") << "-n --help";
    }

    // Each way the form's text (checked against openssl) comes out, and the
    // form's hexadecimal text goes back to the same text.
    void roundTrips()
    {
        QFETCH(QString, plain);
        const QString hex = formEncrypted(plain);
        if (filetest::haveOpenssl())
            QCOMPARE(hex.toLatin1(), filetest::openssl(filetest::spacePadded(plain.toUtf8()), false).toHex());
        const QString length = QString::number(plain.toUtf8().size());

        clirun::Result result = clirun::run(textArgument("encrypt-string", plain));
        QCOMPARE(result.status, 0);
        QCOMPARE(result.outText(), hex + '\n');
        // The ciphertext is the text to anyone with the program: stdout only.
        QCOMPARE(result.errLines, QStringList({"长度：" + length}));
        verifyNoText(result, plain);

        clirun::Options fromInput;
        fromInput.input = plain.toUtf8() + '\n';
        result = clirun::run({"encrypt-string"}, fromInput);
        QCOMPARE(result.status, 0);
        QCOMPARE(result.outText(), hex + '\n');

        result = clirun::run({"decrypt-string", hex});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.outText(), plain + '\n');
        QCOMPARE(result.errLines, QStringList({"解密：长度：" + QString::number(hex.size())}));
        verifyNoText(result, plain);

        fromInput.input = hex.toUpper().toLatin1() + "\r\n";
        result = clirun::run({"decrypt-string"}, fromInput);
        QCOMPARE(result.status, 0);
        QCOMPARE(result.outText(), plain + '\n');
    }

    // Spaces at the end are taken for padding: the warning says so before
    // they are lost, as in the form.
    void trailingSpaces()
    {
        const QString plain = QStringLiteral("密码 ");
        const QString hex = formEncrypted(plain);
        clirun::Result result = clirun::run({"encrypt-string", plain});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.outText(), hex + '\n');
        QVERIFY(result.errLines.contains(loglines::kStringNotRestorable));
        verifyNoText(result, plain);

        result = clirun::run({"decrypt-string", hex});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.outText(), formDecrypted(hex) + '\n');
        QCOMPARE(result.outText(), QStringLiteral("密码\n"));
    }

    void badHex_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<bool>("fromInput");
        QTest::addColumn<QString>("refusal");
        const QString block = formEncrypted("x");
        QTest::newRow("not hexadecimal") << "zz" << false << loglines::kDecryptStringBadLength;
        QTest::newRow("a block short of a digit") << block.left(31) << false << loglines::kDecryptStringBadLength;
        QTest::newRow("a block and a half") << block + block.left(16) << true << loglines::kDecryptStringBadLength;
        QTest::newRow("not ASCII") << "密文" + block << true << loglines::kDecryptStringNotAscii;
    }

    // Refused: nothing on standard output, status 1.
    void badHex()
    {
        QFETCH(QString, hex);
        QFETCH(bool, fromInput);
        QFETCH(QString, refusal);
        clirun::Options options;
        QStringList arguments{"decrypt-string"};
        if (fromInput)
            options.input = hex.toUtf8();
        else
            arguments << hex;
        const clirun::Result result = clirun::run(arguments, options);
        QCOMPARE(result.status, 1);
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(result.errLines.last(), refusal);
    }

    void notUtf8_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("shellArguments");
        const QStringList encrypt{"encrypt-string"};
        QTest::newRow("a stray byte") << encrypt
                                      << QByteArray("a\xff"
                                                    "b")
                                      << "";
        QTest::newRow("overlong slash") << encrypt << QByteArray("\xc0\xaf") << "";
        QTest::newRow("a surrogate") << encrypt << QByteArray("x\xed\xa0\x80") << "";
        QTest::newRow("cut short") << encrypt << QByteArray("ab\xe4\xb8") << "";
        QTest::newRow("argument") << QStringList() << QByteArray() << "encrypt-string \"$(printf 'a\\377b')\"";
        QTest::newRow("hexadecimal") << QStringList{"decrypt-string"} << "\xff" + cipherHex("x").toLatin1() << "";
    }

    // Text is encrypted as its UTF-8 bytes: other bytes would come back
    // changed, so they are refused before anything is done.
    void notUtf8()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, shellArguments);
#ifdef Q_OS_WIN
        if (!shellArguments.isEmpty())
            QSKIP("Windows arguments are UTF-16: no bytes other than UTF-8 reach the program");
#endif
        clirun::Options options = shellArguments.isEmpty() ? clirun::Options() : throughShell(shellArguments);
        options.input = input;
        const clirun::Result result = clirun::run(arguments, options);
        QCOMPARE(result.status, 1);
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(result.errLines.size(), 1);
        QVERIFY2(result.err.contains(" is not UTF-8 (byte "), result.err.constData());
    }

    // Every byte of UTF-8 input is encrypted, a leading byte-order mark and
    // a zero byte included, and the decryption gives the bytes back (up to
    // the zero byte, as in the form).
    void everyByteOfTheText()
    {
        const QByteArray bytes("\xef\xbb\xbf"
                               "ab\0cd",
                               8);
        clirun::Options options;
        options.input = bytes;
        clirun::Result result = clirun::run({"encrypt-string"}, options);
        QCOMPARE(result.status, 0);
        const QString hex = cipherHex(bytes);
        QCOMPARE(result.outText(), hex + '\n');
        QVERIFY(result.errLines.contains(loglines::kStringNotRestorable));

        result = clirun::run({"decrypt-string", hex});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, QByteArray("\xef\xbb\xbf"
                                        "ab\n"));
    }

    // Ciphertext of bytes that are not UTF-8 (made elsewhere): printed as
    // the form shows it, and said so with status 1.
    void decryptionNotUtf8()
    {
        const QString hex = cipherHex("a\xff"
                                      "b");
        const clirun::Result result = clirun::run({"decrypt-string", hex});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.outText(), formDecrypted(hex) + '\n');
        QCOMPARE(result.outText(), QString::fromUtf8("a\xef\xbf\xbd"
                                                     "b\n"));
        QVERIFY2(result.errLines.last().contains("not text"), result.err.constData());
    }

    void sizeLimit_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<bool>("accepted");
        const int limit = 8 * 1024 * 1024;
        QTest::newRow("8 MiB of text and its newline") << "encrypt-string" << QByteArray(limit, 'a') + "\r\n" << true;
        QTest::newRow("a byte more") << "encrypt-string" << QByteArray(limit + 1, 'a') << false;
        QTest::newRow("hexadecimal text past 16 MiB") << "decrypt-string" << QByteArray(2 * limit + 4097, '0') << false;
    }

    // Texts are bounded, so is the memory they take: above the bound the
    // text is refused, nothing is printed, status 1.
    void sizeLimit()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, input);
        QFETCH(bool, accepted);
        clirun::Options options;
        options.input = input;
        const clirun::Result result = clirun::run({command}, options);
        QVERIFY(!result.crashed);
        if (accepted) {
            QCOMPARE(result.status, 0);
            QCOMPARE(result.out.size(), 2 * (input.size() - 2) + 1);
            QCOMPARE(result.outText().left(32), formEncrypted(QString(16, 'a')));
            return;
        }
        QCOMPARE(result.status, 1);
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(result.errLines.size(), 1);
        QVERIFY2(result.err.contains(" MiB"), result.err.constData());
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << QStringList{"shred", "a.txt"};
        QTest::newRow("unknown option") << QStringList{"--force", "encrypt", "a.txt"};
        QTest::newRow("no path") << QStringList{"encrypt"};
        QTest::newRow("no path for status") << QStringList{"-q", "status"};
        QTest::newRow("two texts") << QStringList{"encrypt-string", "one", "two"};
        QTest::newRow("empty path") << QStringList{"decrypt", ""};
        QTest::newRow("-0 without status") << QStringList{"-0", "encrypt", "a.txt"};
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        const clirun::Result result = clirun::run(arguments);
        QCOMPARE(result.status, 2);
        QCOMPARE(result.out, QByteArray());
        QVERIFY2(result.err.contains("Usage: keystrel-cli"), result.err.constData());
        QVERIFY(result.errLines.size() <= 6);
    }

    void helpAndVersion()
    {
        clirun::Result result = clirun::run({"--help"});
        QCOMPARE(result.status, 0);
        for (const char *command : {"encrypt", "decrypt", "toggle", "status", "encrypt-string", "decrypt-string"})
            QVERIFY(result.out.contains(QByteArray("  ") + command + ' '));
        QCOMPARE(result.err, QByteArray());
        result = clirun::run({"--version"});
        QCOMPARE(result.status, 0);
        QVERIFY(result.out.startsWith("keystrel-cli 1."));
    }

    void quiet()
    {
        const clirun::Result result = clirun::run({"encrypt-string", "-q", "a b c  "});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.outText(), formEncrypted("a b c  ") + '\n');
        QCOMPARE(result.err, QByteArray());
    }

    // status lists paths as the system writes them, so that a line's path
    // can be pasted back: on Windows with backslashes, each single, and
    // quotes only around a name that needs them; elsewhere as before.
    void statusPathsPasteBack()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("work");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(filetest::write(folder + "/a b.txt", "plain"));
        QVERIFY(filetest::write(folder + "/x.txt", "plain"));
        const QString shownFolder = QDir::toNativeSeparators(folder);
        const clirun::Result result = clirun::run({"status", shownFolder});
        QCOMPARE(result.status, 0);
        QStringList lines = result.outText().split('\n', Qt::SkipEmptyParts);
        lines.sort();
#ifdef Q_OS_WIN
        if (folder.contains(' '))
            QSKIP("the temporary folder's path has a space: every line would be quoted");
        const QString separator = QStringLiteral("\\");
        QCOMPARE(lines, QStringList({"plain\t\"" + shownFolder + separator + "a b.txt\"",
                                     "plain\t" + shownFolder + separator + "x.txt"}));
        QVERIFY(!result.out.contains("\\\\"));
        // A single file as named, with the system's separators.
        const clirun::Result single = clirun::run({"status", folder + "/x.txt"});
        QCOMPARE(single.outText(), "plain\t" + shownFolder + separator + "x.txt\n");
#else
        QCOMPARE(lines, QStringList({"plain\t" + folder + "/a b.txt", "plain\t" + folder + "/x.txt"}));
#endif
    }

    // No display, no platform plug-in, no GUI library: every run of this
    // test has DISPLAY and QT_QPA_PLATFORM removed (CliRun.h); here also
    // nothing complains about them, and the loader maps Qt Core alone.
    void needsNoDisplay()
    {
#ifdef Q_OS_WIN
        QSKIP("ldd reads ELF files; the zip test checks what keystrel-cli.exe imports");
#endif
        const clirun::Result result = clirun::run({"encrypt-string", "headless"});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.errLines.size(), 1); // the length line alone
        QVERIFY(!result.err.contains("qt."));

        QProcess ldd;
        ldd.start("ldd", {KEYSTREL_CLI});
        QVERIFY(ldd.waitForFinished(-1));
        const QByteArray libraries = ldd.readAllStandardOutput();
        QVERIFY2(libraries.contains("libQt5Core"), libraries.constData());
        QVERIFY2(!libraries.contains("libQt5Gui") && !libraries.contains("libQt5Widgets"), libraries.constData());
    }

    // cmake --install puts the program in bin and its manual, compressed, in
    // man1; the
    // installed program runs from there.
    void installs()
    {
#ifdef Q_OS_WIN
        QSKIP("cmake --install lays out a Unix prefix; the Windows programs ship in the zip and the installer");
#endif
        QTemporaryDir prefix;
        QVERIFY(prefix.isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(KEYSTREL_CMAKE, {"--install", KEYSTREL_BUILD_DIR, "--prefix", prefix.path()});
        QVERIFY(install.waitForFinished(-1));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());

        const QString program = prefix.filePath("bin/keystrel-cli");
        QVERIFY(QFileInfo(program).isExecutable());
        QProcess manual;
        manual.start("gzip", {"-dc", prefix.filePath("share/man/man1/keystrel-cli.1.gz")});
        QVERIFY(manual.waitForFinished(-1));
        QVERIFY(manual.readAllStandardOutput().startsWith(".TH KEYSTREL-CLI 1"));

        QProcess installed;
        installed.setProcessEnvironment(clirun::baseEnvironment());
        installed.start(program, {"encrypt-string", "installed"});
        QVERIFY(installed.waitForFinished(-1));
        QCOMPARE(installed.exitCode(), 0);
        QCOMPARE(QString::fromLatin1(installed.readAllStandardOutput()), formEncrypted("installed") + '\n');
    }
};

QTEST_MAIN(TestCliTexts)
#include "tst_clitexts.moc"
