// The four buttons: string round trips in the text area, and files chosen in
// the real file dialog, rewritten in place, logged only on success.
#include "FormDriver.h"
#include "LogRecorder.h"
#include "form/Form.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace vaultine;

using namespace formdriver;

class TestFormActions : public QObject
{
    Q_OBJECT

    static QPushButton *button(Form &form, const char *name) { return form.findChild<QPushButton *>(name); }
    static QPlainTextEdit *text(Form &form) { return form.findChild<QPlainTextEdit *>("plainTextEdit"); }

    static void click(Form &form, const char *name) { QTest::mouseClick(button(form, name), Qt::LeftButton); }

private slots:
    void init() { logrecorder::clear(); }

    void stringButtonsRoundTrip()
    {
        Form form;
        form.show();
        text(form)->setPlainText(QStringLiteral("机密 text"));
        click(form, "encrypt_pushButton");
        // One click, one run: the button is connected once.
        QCOMPARE(logrecorder::takeLines().filter(QRegularExpression("^长度：")).size(), 1);
        QString expected = QStringLiteral("机密 text");
        form.encryptString(expected);
        QCOMPARE(text(form)->toPlainText(), expected);
        QVERIFY(QRegularExpression("^([0-9a-f]{32})+$").match(expected).hasMatch());

        click(form, "decrypt_pushButton");
        QCOMPARE(text(form)->toPlainText(), QStringLiteral("机密 text"));

        // Twice in a row encrypts the hexadecimal text of the first run.
        click(form, "encrypt_pushButton");
        click(form, "encrypt_pushButton");
        QCOMPARE(text(form)->toPlainText().size(), 2 * expected.size());
    }

    void emptyTextStillGoesThrough()
    {
        Form form;
        form.show();
        click(form, "encrypt_pushButton");
        QVERIFY(logrecorder::lines().contains(QStringLiteral("长度：0")));
        QCOMPARE(text(form)->toPlainText(), QString());
    }

    void fileDialogAsSpecified()
    {
        Form form;
        form.show();
        QString title, filter;
        QWidget *parent = nullptr;
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        FileDialogAnswer answer(QString(), [&](QFileDialog *d) {
            title = d->windowTitle();
            filter = d->nameFilters().join(";;");
            parent = d->parentWidget();
            mode = d->fileMode();
        });
        click(form, "encryptfile_pushButton");
        QVERIFY(answer.answered);
        QCOMPARE(title, QStringLiteral("选择文件"));
        QCOMPARE(parent, &form);
        QCOMPARE(mode, QFileDialog::ExistingFile);
#ifdef Q_OS_WIN
        QCOMPARE(filter, QStringLiteral("all files (*.*)"));
#else
        // Names without a dot must stay visible.
        QCOMPARE(filter, QStringLiteral("all files (*)"));
#endif
    }

    // The dialog opens in the user's documents (or home), never in the
    // working folder (the program's own, when a shortcut starts it there),
    // and then where the last file was chosen.
    void fileDialogStartsInDocumentsThenTheLastFolder()
    {
        QTemporaryDir working, chosen;
        const QString path = chosen.filePath(QStringLiteral("chosen.txt"));
        QVERIFY(write(path, "chosen"));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(working.path()));
        Form form;
        form.show();
        QString first, second;
        FileDialogAnswer firstAnswer(path, [&](QFileDialog *d) { first = d->directory().absolutePath(); });
        click(form, "encryptfile_pushButton");
        FileDialogAnswer secondAnswer(QString(), [&](QFileDialog *d) { second = d->directory().absolutePath(); });
        click(form, "decryptfile_pushButton");
        QDir::setCurrent(before);
        QVERIFY(firstAnswer.answered && secondAnswer.answered);
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(first, QDir(QDir(documents).exists() ? documents : QDir::homePath()).absolutePath());
        QVERIFY(first != QDir(working.path()).absolutePath());
        QCOMPARE(second, QDir(chosen.path()).absolutePath());
        QVERIFY(read(path).startsWith(header())); // the first answer chose it
    }

    void chosenFileRewrittenInPlace()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notes"));
        const QByteArray plain("a file without a dot in its name\n");
        QVERIFY(write(path, plain));
        Form form;
        form.show();

        FileDialogAnswer encryptAnswer(path);
        click(form, "encryptfile_pushButton");
        QVERIFY(encryptAnswer.answered);
        QVERIFY(read(path).startsWith(header()));
        QStringList lines = logrecorder::takeLines();
        QVERIFY(lines.size() >= 2);
        QCOMPARE(lines.first(), QStringLiteral("加密：文件大小：%1").arg(plain.size()));
        QCOMPARE(lines.last(), QStringLiteral("加密文件已输出到:") + QDir::toNativeSeparators(path));
        QCOMPARE(dir.path(), QFileInfo(path).absolutePath());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"notes"});

        FileDialogAnswer decryptAnswer(path);
        click(form, "decryptfile_pushButton");
        QVERIFY(decryptAnswer.answered);
        QCOMPARE(read(path), plain);
        lines = logrecorder::takeLines();
        QCOMPARE(lines.last(), QStringLiteral("解密文件已输出到:") + QDir::toNativeSeparators(path));
        QCOMPARE(lines.filter(QStringLiteral("已输出到")).size(), 1);
        QVERIFY(text(form)->toPlainText().isEmpty());
    }

    void failureLeavesTheOperationsLineAlone()
    {
        QTemporaryDir dir;
        const QString plainPath = dir.filePath(QStringLiteral("plain.txt"));
        const QString lockedPath = dir.filePath(QStringLiteral("locked.txt"));
        QVERIFY(write(plainPath, "plain"));
        QVERIFY(write(lockedPath, header() + QByteArray(16, 'x')));
        Form form;
        form.show();

        FileDialogAnswer decryptPlain(plainPath);
        click(form, "decryptfile_pushButton");
        QStringList lines = logrecorder::takeLines();
        QCOMPARE(lines.last(), QStringLiteral("解密：文件未被加密过，无法解密"));
        QVERIFY(lines.filter(QStringLiteral("已输出到")).isEmpty());
        QCOMPARE(read(plainPath), QByteArray("plain"));

        FileDialogAnswer encryptEncrypted(lockedPath);
        click(form, "encryptfile_pushButton");
        lines = logrecorder::takeLines();
        QCOMPARE(lines.last(), QStringLiteral("加密：文件被加密过，无法再加密"));
        QVERIFY(lines.filter(QStringLiteral("已输出到")).isEmpty());
    }

    void cancelledDialogDoesNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("keep.txt"));
        QVERIFY(write(path, "keep"));
        Form form;
        form.show();
        for (const char *name : {"encryptfile_pushButton", "decryptfile_pushButton"}) {
            FileDialogAnswer cancel{QString()};
            click(form, name);
            QVERIFY(cancel.answered);
        }
        QCOMPARE(logrecorder::lines(), QStringList());
        QCOMPARE(read(path), QByteArray("keep"));
    }

    void fifoIsNeverOpened()
    {
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        Form form;
        form.show();
        FileDialogAnswer answer(fifo);
        click(form, "encryptfile_pushButton"); // would block on open
        QCOMPARE(logrecorder::lines(), QStringList{QStringLiteral("文件已不存在或不是普通文件，跳过：") + fifo});
#else
        QSKIP("no FIFOs here");
#endif
    }
};

QTEST_MAIN(TestFormActions)
#include "tst_formactions.moc"
