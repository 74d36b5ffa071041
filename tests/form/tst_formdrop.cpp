// Drags onto the form and dropped files: accepted drags, files toggled by
// their header, their text shown (bounded), URLs handled in order.
#include "FormDriver.h"
#include "LogRecorder.h"
#include "PluginApi.h"
#include "form/Form.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace vaultine;

using namespace formdriver;

class TestFormDrop : public QObject
{
    Q_OBJECT

    static QString shown(Form &form) { return form.findChild<QPlainTextEdit *>("plainTextEdit")->toPlainText(); }

    static QByteArray encrypted(const QString &path, const QByteArray &plain)
    {
        Form form;
        write(path, plain);
        form.encryptFile(path, path);
        logrecorder::clear();
        return read(path);
    }

    // A drop as the core plug-in makes it for `keystrel --encrypt` (or
    // --decrypt): the paths and the direction asked for them.
    static void dropAsked(Form &form, const QStringList &paths, const QByteArray &direction)
    {
        QMimeData mime;
        mime.setUrls(localUrls(paths));
        mime.setData(QLatin1String(pluginapi::kDropDirectionFormat), direction);
        QVERIFY(dragEnter(&form, mime));
        QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &dropEvent);
    }

private slots:
    void init() { logrecorder::clear(); }

    void dragEnterAcceptsExactlyUrls()
    {
        Form form;
        QMimeData urls;
        urls.setUrls({QUrl(QStringLiteral("https://example.org/x")), QUrl::fromLocalFile("/nowhere")});
        QVERIFY(dragEnter(&form, urls));
        QMimeData textOnly;
        textOnly.setText(QStringLiteral("/tmp/file.txt"));
        QVERIFY(!dragEnter(&form, textOnly));
        // Over the text area the drag climbs to the form.
        QVERIFY(dragEnter(form.findChild<QPlainTextEdit *>()->viewport(), urls));
    }

    void dropToggles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("note.txt"));
        const QByteArray plain("第一行\nsecond line\n");
        const QByteArray cipher = encrypted(dir.filePath("reference"), plain);
        QVERIFY(write(path, plain));
        Form form;
        // Dropped on the text area, handled by the form.
        QVERIFY(drop(form.findChild<QPlainTextEdit *>()->viewport(), localUrls({path})));
        QCOMPARE(read(path), cipher);
        QCOMPARE(shown(form), QString::fromUtf8(plain));
        QStringList lines = logrecorder::takeLines();
        QCOMPARE(lines.first(), QStringLiteral("加密：文件大小：%1").arg(plain.size()));
        QCOMPARE(lines.last(), QStringLiteral("加密文件已输出到:") + path);

        form.findChild<QPlainTextEdit *>()->clear();
        QVERIFY(drop(&form, localUrls({path})));
        QCOMPARE(read(path), plain);
        QCOMPARE(shown(form), QString::fromUtf8(plain));
        lines = logrecorder::takeLines();
        QCOMPARE(lines.first(), QStringLiteral("解密：文件大小：%1").arg(cipher.size()));
        QCOMPARE(lines.last(), QStringLiteral("解密文件已输出到:") + path);
    }

    void failedDecryptionShowsTheFileAndNoOutputLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("broken"));
        const QByteArray broken = header() + QByteArray("12345");
        QVERIFY(write(path, broken));
        Form form;
        form.findChild<QPlainTextEdit *>()->setPlainText(QStringLiteral("before"));
        QVERIFY(drop(&form, localUrls({path})));
        QCOMPARE(read(path), broken);
        // What the file holds now: its text stops at the header's zero byte.
        QCOMPARE(shown(form), QStringLiteral("has been encrypt"));
        QVERIFY(logrecorder::lines().filter(QStringLiteral("已输出到")).isEmpty());
        QVERIFY(!logrecorder::lines().isEmpty());
    }

    // A file's end is offered to the core plug-in with the line that says
    // where it went, or with the work's last line when it failed.
    void fileEndOfferedAsANotice()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("note.txt"));
        const QString broken = dir.filePath(QStringLiteral("broken"));
        QVERIFY(write(path, "plain") && write(broken, header() + QByteArray("12345")));
        logrecorder::takeNotices();
        Form form;
        QVERIFY(drop(&form, localUrls({path})));
        QCOMPARE(logrecorder::takeNotices(), QStringList{QStringLiteral("加密文件已输出到:") + path});
        QVERIFY(drop(&form, localUrls({path})));
        QCOMPARE(logrecorder::takeNotices(), QStringList{QStringLiteral("解密文件已输出到:") + path});
        logrecorder::clear();
        QVERIFY(drop(&form, localUrls({broken})));
        const QStringList notices = logrecorder::takeNotices();
        QCOMPARE(notices.size(), 1);
        QVERIFY(!notices.first().contains(QStringLiteral("已输出到")));
        QCOMPARE(notices.first(), logrecorder::lines().last());
    }

    void severalUrlsInOrder()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath("a"), b = dir.filePath("b"), c = dir.filePath("c");
        const QByteArray bCipher = encrypted(b, "bee");
        QVERIFY(write(a, "ay"));
        QVERIFY(write(c, "sea"));
        Form form;
        QVERIFY(drop(&form,
                     {QUrl::fromLocalFile(c), QUrl(QStringLiteral("https://example.org/a")),
                      QUrl::fromLocalFile(dir.filePath("missing")), QUrl::fromLocalFile(b), QUrl::fromLocalFile(a)}));
        QCOMPARE(read(b), QByteArray("bee"));
        QVERIFY(read(a).startsWith(header()) && read(c).startsWith(header()));
        QCOMPARE(shown(form), QStringLiteral("ay"));
        QCOMPARE(logrecorder::lines().filter(QStringLiteral("已输出到")),
                 QStringList({QStringLiteral("加密文件已输出到:") + c, QStringLiteral("解密文件已输出到:") + b,
                              QStringLiteral("加密文件已输出到:") + a}));
    }

    void nothingToDoIsSilent()
    {
        QTemporaryDir dir;
        Form form;
        QVERIFY(drop(&form, {QUrl(QStringLiteral("https://example.org/file.txt")),
                             QUrl::fromLocalFile(dir.filePath("missing"))}));
#ifdef Q_OS_UNIX
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QVERIFY(drop(&form, localUrls({fifo, "/dev/zero"}))); // neither may block
        if (::geteuid() != 0) {
            const QString locked = dir.filePath(QStringLiteral("locked.txt"));
            QVERIFY(write(locked, "secret"));
            QFile::setPermissions(locked, QFileDevice::WriteOwner);
            QVERIFY(drop(&form, localUrls({locked})));
            QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            QCOMPARE(read(locked), QByteArray("secret"));
        }
#endif
        QCOMPARE(logrecorder::lines(), QStringList());
        QCOMPARE(shown(form), QString());
    }

    // Asked to encrypt, a file already encrypted keeps its bytes with the
    // batch's skip line; asked to decrypt, a plain one does.
    void askedDirectionSkipsFilesAlreadyThere()
    {
        QTemporaryDir dir;
        const QString plain = dir.filePath("plain.txt"), other = dir.filePath("other.txt");
        const QString locked = dir.filePath("locked");
        const QByteArray lockedBytes = encrypted(locked, "locked away");
        QVERIFY(write(plain, "open text") && write(other, "more text"));
        Form form;
        dropAsked(form, {plain, locked}, "encrypt");
        QVERIFY(read(plain).startsWith(header()));
        QCOMPARE(read(locked), lockedBytes);
        QCOMPARE(logrecorder::lines().filter(QRegularExpression("已输出到|不再")),
                 QStringList({"加密文件已输出到:" + plain, "文件:" + locked + "已经加密，不再加密"}));

        logrecorder::clear();
        dropAsked(form, {plain, other}, "decrypt");
        QCOMPARE(read(plain), QByteArray("open text"));
        QCOMPARE(read(other), QByteArray("more text"));
        QCOMPARE(shown(form), QStringLiteral("open text"));
        QCOMPARE(logrecorder::lines().filter(QRegularExpression("已输出到|不再")),
                 QStringList({"解密文件已输出到:" + plain, "文件:" + other + "已经未加密，不再解密"}));
    }

    // A folder runs its batch the way asked, not the way its first file is.
    void askedDirectionDecidesAFoldersBatch()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath("a.txt"), second = dir.filePath("b.txt");
        QVERIFY(write(first, "plain first"));
        const QByteArray secondPlain("then a secret");
        encrypted(second, secondPlain);
        Form form;
        dropAsked(form, {dir.path()}, "decrypt");
        QCOMPARE(read(first), QByteArray("plain first"));
        QCOMPARE(read(second), secondPlain);
        const QStringList lines = logrecorder::lines();
        QVERIFY2(lines.contains("开始解密") && !lines.contains("开始加密"), qPrintable(lines.join('\n')));
        QVERIFY(lines.contains("文件:" + first + "已经未加密，不再解密"));
        QVERIFY(lines.contains("解密文件已输出到:" + second));
    }

    // A direction this form does not know is no plain drop: nothing moves.
    void unknownDirectionHandlesNothing()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("kept.txt");
        QVERIFY(write(file, "kept"));
        Form form;
        dropAsked(form, {file}, "sideways");
        QCOMPARE(read(file), QByteArray("kept"));
        QCOMPARE(logrecorder::lines(), QStringList{"拖放要求的加解密方向无法识别，未处理：" + file});
    }

    void shownTextIsBounded_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("shownChars");
        QTest::addColumn<bool>("cutLogged");
        const int mib = 1024 * 1024;
        QByteArray lines;
        while (lines.size() <= mib + 100)
            lines += "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcde\n";
        QTest::newRow("over 1 MiB") << lines << mib << true;
        QTest::newRow("exactly 1 MiB") << lines.left(mib) << mib << false;
        // The cut never splits a character.
        QTest::newRow("split character") << lines.left(mib - 1) + "中文" << mib - 1 << true;
        QTest::newRow("zero byte") << QByteArray("abc") + '\0' + QByteArray(mib, 'x') << 3 << false;
    }

    void shownTextIsBounded()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, shownChars);
        QFETCH(bool, cutLogged);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.txt"));
        QVERIFY(write(path, content));
        Form form;
        QVERIFY(drop(&form, localUrls({path})));
        const QString text = shown(form);
        QCOMPARE(text.size(), shownChars);
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
        QVERIFY(QString::fromUtf8(content).startsWith(text));
        QCOMPARE(logrecorder::lines().contains(QStringLiteral("文件超过1MiB，文本区只显示开头1MiB：") + path),
                 cutLogged);
        QCOMPARE(logrecorder::lines().last(), QStringLiteral("加密文件已输出到:") + path);
        QVERIFY(read(path).startsWith(header()));
    }

    // A line too long to lay out in time (one line of hexadecimal digits,
    // nowhere to break it) is shown broken, and the log says so; nothing of
    // the text is lost.
    void longLinesBrokenForDisplay()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("key.txt"));
        QByteArray content = "short first line\n" + QByteArray(300 * 1024, 'f');
        for (int i = 17; i < content.size(); i += 7)
            content[i] = '0' + char(i % 10);
        content += "\n" + QByteArray(40, 'w').replace('w', "word ") + "\nend";
        QVERIFY(write(path, content));
        Form form;
        QVERIFY(drop(&form, localUrls({path})));
        const QString text = shown(form);
        const QStringList lines = text.split(QLatin1Char('\n'));
        QCOMPARE(lines.first(), QStringLiteral("short first line"));
        QCOMPARE(lines.last(), QStringLiteral("end"));
        for (const QString &line : lines)
            QVERIFY2(line.size() <= 1024, qPrintable(QString::number(line.size())));
        QCOMPARE(QString(text).remove(QLatin1Char('\n')), QString::fromUtf8(content).remove(QLatin1Char('\n')));
        QVERIFY(
            logrecorder::lines().contains(QStringLiteral("文件中有过长的行，文本区显示时在其中插入了换行：") + path));
        QCOMPARE(logrecorder::lines().last(), QStringLiteral("加密文件已输出到:") + path);
    }

    // Ordinary text goes into the text area in pieces, while the loop turns;
    // all of it arrives as it is, so the string button encrypts the file's
    // text as before.
    void ordinaryTextShownWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notes.txt"));
        QByteArray content;
        for (int i = 0; content.size() < 300 * 1024; ++i)
            content += QStringLiteral("第%1行，some words\r\n").arg(i).toUtf8() + (i % 500 == 0 ? "\r" : "");
        content += QByteArray(1000, 'z') + "\n\n";
        QVERIFY(write(path, content));
        QString expected = QString::fromUtf8(content);
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        Form form;
        QVERIFY(drop(&form, localUrls({path})));
        QCOMPARE(shown(form), expected);
        QCOMPARE(logrecorder::lines().filter(QStringLiteral("文本区")), QStringList());
        QString cipher = expected;
        form.encryptString(cipher);
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("encrypt_pushButton")), Qt::LeftButton);
        QCOMPARE(shown(form), cipher);
    }

    // Closed while the text goes in: nothing is touched after, the file is
    // left as it was.
    void formClosedWhileTheTextGoesIn()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("lines.txt"));
        const QByteArray content = QByteArray(20000, 'x').replace('x', "line\n");
        QVERIFY(write(path, content));
        QPointer<Form> form = new Form;
        form->show();
        QTimer::singleShot(0, [&form] { delete form.data(); });
        QVERIFY(drop(form, localUrls({path})));
        QVERIFY(form.isNull());
        QCOMPARE(read(path), content);
        QVERIFY(logrecorder::lines().filter(QStringLiteral("已输出到")).isEmpty());
    }
};

QTEST_MAIN(TestFormDrop)
#include "tst_formdrop.moc"
