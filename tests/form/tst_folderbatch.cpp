// Dropped folders: the walk, the batch in either direction under its progress
// dialog, cancelling, link cycles, empty folders, files that change meanwhile
// and drops or clicks that arrive while the batch pumps events.
#include "FormDriver.h"
#include "LogRecorder.h"
#include "form/Form.h"

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace vaultine;

using namespace formdriver;

namespace {

// Watches the form's progress dialog on a zero timer, which runs whenever the
// batch lets events through, and acts once when the dialog reaches `atValue`.
class BatchWatch : public QObject
{
public:
    BatchWatch(Form *form, int atValue = -1, std::function<void(QProgressDialog *)> action = {})
        : form(form)
        , atValue(atValue)
        , action(std::move(action))
    {
        timer.setInterval(0);
        connect(&timer, &QTimer::timeout, this, &BatchWatch::tick);
        timer.start();
    }

    QPointer<QProgressDialog> seen;
    QString title, label, cancelText;
    int minimum = -2, maximum = -2;
    Qt::WindowModality modality = Qt::NonModal;
    bool visible = false;
    QWidget *parent = nullptr;
    QList<int> values;
    bool acted = false;

private:
    void tick()
    {
        QProgressDialog *dialog = form ? form->findChild<QProgressDialog *>() : nullptr;
        if (!dialog)
            return;
        if (seen != dialog) {
            seen = dialog;
            title = dialog->windowTitle();
            label = dialog->labelText();
            cancelText = dialog->findChild<QPushButton *>()->text();
            minimum = dialog->minimum();
            maximum = dialog->maximum();
            modality = dialog->windowModality();
            visible = dialog->isVisible();
            parent = dialog->parentWidget();
            // The dialog shows while the first file is in hand, before any
            // value is set (-1).
            if (dialog->value() >= 0)
                values << dialog->value();
            connect(dialog->findChild<QProgressBar *>(), &QProgressBar::valueChanged, this,
                    [this](int v) { values << v; });
        }
        if (!acted && action && dialog->value() >= atValue) {
            acted = true;
            action(dialog);
        }
    }

    QPointer<Form> form;
    int atValue;
    std::function<void(QProgressDialog *)> action;
    QTimer timer;
};

void clickCancel(QProgressDialog *dialog)
{
    dialog->findChild<QPushButton *>()->click();
}

// The lines of the batch itself, without those of the file operations.
QStringList batchLines()
{
    QStringList lines = logrecorder::lines();
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString &l) {
                                   return l.startsWith(QStringLiteral("加密："))
                                          || l.startsWith(QStringLiteral("解密："));
                               }),
                lines.end());
    return lines;
}

QString shown(Form &form)
{
    return form.findChild<QPlainTextEdit *>()->toPlainText();
}

QByteArray encryptedForm(const QByteArray &plain)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("e");
    write(path, plain);
    Form().encryptFile(path, path);
    logrecorder::clear();
    return read(path);
}

bool makeFiles(const QString &root, const QStringList &relativePaths, const QByteArray &content = "plain text")
{
    for (const QString &rel : relativePaths) {
        const QString path = root + '/' + rel;
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !write(path, content + rel.toUtf8()))
            return false;
    }
    return true;
}

} // namespace

class TestFolderBatch : public QObject
{
    Q_OBJECT

private slots:
    void init() { logrecorder::clear(); }

    void walkOrderSkipsHiddenEntries()
    {
        QTemporaryDir dir;
        const QString r = dir.path();
        QVERIFY(makeFiles(r, {"b.txt", "a.txt", "C.txt", "s/x.txt", ".hidden", ".git/config", "s/.h"}));
        Form form;
        form.collectFiles(r);
        const QStringList walk{r + "/s/x.txt", r + "/C.txt", r + "/a.txt", r + "/b.txt"};
        QCOMPARE(form.collectedFiles().toList(), walk);
        QCOMPARE(logrecorder::takeLines(), QStringList({"dir: " + r + "/s", "file: " + walk[0], "file: " + walk[1],
                                                        "file: " + walk[2], "file: " + walk[3]}));

        // A drop starts from an empty list and handles the files in walk order.
        QVERIFY(drop(&form, localUrls({r})));
        QCOMPARE(form.collectedFiles().toList(), walk);
        QCOMPARE(shown(form), walk.join('\n'));
        for (const QString &p : walk)
            QVERIFY(read(p).startsWith(header()));
        QCOMPARE(read(r + "/.hidden"), QByteArray("plain text.hidden"));
        QCOMPARE(read(r + "/s/.h"), QByteArray("plain texts/.h"));
    }

    void mixedFolders_data()
    {
        QTest::addColumn<bool>("firstEncrypted");
        QTest::newRow("encrypt batch") << false;
        QTest::newRow("decrypt batch") << true;
    }

    void mixedFolders()
    {
        QFETCH(bool, firstEncrypted);
        QTemporaryDir dir;
        const QString a = dir.filePath("a"), b = dir.filePath("b"), c = dir.filePath("c");
        const QByteArray plain("same text");
        const QByteArray cipher = encryptedForm(plain);
        QVERIFY(write(a, firstEncrypted ? cipher : plain));
        QVERIFY(write(b, firstEncrypted ? plain : cipher));
        QVERIFY(write(c, firstEncrypted ? cipher : plain));
        Form form;
        form.findChild<QPlainTextEdit *>()->setPlainText("earlier text");
        QVERIFY(drop(&form, localUrls({dir.path()})));

        const QStringList files{"file: " + a, "file: " + b, "file: " + c};
        const QStringList expected =
            firstEncrypted
                ? files
                      + QStringList{"开始解密", "解密文件已输出到:" + a, "文件:" + b + "已经未加密，不再解密",
                                    "解密文件已输出到:" + c, "批量解密完成：解密2个，跳过1个，失败0个"}
                : files
                      + QStringList{"开始加密", "加密文件已输出到:" + a, "文件:" + b + "已经加密，不再加密",
                                    "加密文件已输出到:" + c, "批量加密完成：加密2个，跳过1个，失败0个"};
        QCOMPARE(batchLines(), expected);
        for (const QString &p : {a, b, c})
            QCOMPARE(read(p), firstEncrypted ? plain : cipher);
        QCOMPARE(shown(form), QStringList({a, b, c}).join('\n'));
    }

    // The batch's end is offered to the core plug-in once, with its summary;
    // the files inside it offer none of their own.
    void batchEndOfferedAsANotice()
    {
        QTemporaryDir dir;
        QVERIFY(makeFiles(dir.path(), {"1", "2", "sub/3"}));
        logrecorder::takeNotices();
        Form form;
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QCOMPARE(logrecorder::lines().last(), QStringLiteral("批量加密完成：加密3个，跳过0个，失败0个"));
        QCOMPARE(logrecorder::takeNotices(), QStringList{logrecorder::lines().last()});

        // Cancelled after the first file: the summary says so.
        QVERIFY(makeFiles(dir.path(), {"4", "5"}));
        logrecorder::clear();
        BatchWatch watch(&form, 1, clickCancel);
        QVERIFY(drop(&form, localUrls({dir.path()})));
        const QStringList notices = logrecorder::takeNotices();
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices.first().startsWith(QStringLiteral("批量解密已取消")), qPrintable(notices.first()));
        QCOMPARE(notices.first(), logrecorder::lines().last());
    }

    void progressDialog()
    {
        QTemporaryDir dir;
        QVERIFY(makeFiles(dir.path(), {"1", "2", "3", "4"}));
        Form form;
        form.show();
        BatchWatch watch(&form);
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QVERIFY(watch.seen.isNull()); // destroyed with the batch
        QCOMPARE(watch.title, QStringLiteral("加解密进度对话框"));
        QCOMPARE(watch.label, QStringLiteral("加密进度"));
        QCOMPARE(watch.cancelText, QStringLiteral("取消"));
        QCOMPARE(watch.minimum, 0);
        QCOMPARE(watch.maximum, 4);
        QCOMPARE(watch.modality, Qt::WindowModal);
        QCOMPARE(watch.parent, &form);
        QVERIFY(watch.visible);
        QCOMPARE(watch.values.mid(0, 4), QList<int>({1, 2, 3, 4}));
        QVERIFY(form.findChildren<QProgressDialog *>().isEmpty());

        // Back the other way: the label follows the direction.
        BatchWatch back(&form);
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QCOMPARE(back.label, QStringLiteral("解密进度"));
    }

    void cancelAfterTwoFiles()
    {
        QTemporaryDir dir;
        const QStringList names{"1", "2", "3", "4", "5"};
        QVERIFY(makeFiles(dir.path(), names));
        Form form;
        form.show();
        BatchWatch watch(&form, 2, clickCancel);
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QVERIFY(watch.acted);
        for (int i = 0; i < names.size(); ++i) {
            const QByteArray bytes = read(dir.filePath(names[i]));
            QCOMPARE(bytes.startsWith(header()), i < 2);
        }
        QCOMPARE(form.collectedFiles().size(), 5);
        QCOMPARE(shown(form), dir.filePath("1") + '\n' + dir.filePath("2"));
        QCOMPARE(batchLines().last(), QStringLiteral("批量加密已取消：加密2个，跳过0个，失败0个，未处理3个"));
        QVERIFY(form.findChildren<QProgressDialog *>().isEmpty());
    }

    void linkCyclesAndLinksUpwards()
    {
        QTemporaryDir dir;
        const QString r = dir.filePath("drop");
        QVERIFY(makeFiles(dir.path(), {"outside.txt", "drop/a.txt", "drop/sub/b.txt"}));
        QVERIFY(QFile::link(r, r + "/sub/loop"));
        QVERIFY(QFile::link(r + "/sub", r + "/sub/self"));
        QVERIFY(QFile::link(r + "/sub", r + "/twin"));
        QVERIFY(QFile::link(dir.path(), r + "/up"));
        Form form;
        QVERIFY(drop(&form, localUrls({r})));
        const QString skip = QStringLiteral("文件夹已遍历过或指向上级文件夹，跳过：");
        QCOMPARE(
            batchLines().mid(0, 7),
            QStringList({"dir: " + r + "/sub", skip + r + "/sub/loop", skip + r + "/sub/self",
                         "file: " + r + "/sub/b.txt", skip + r + "/twin",
                         QStringLiteral("链接指向拖入的文件夹之外，跳过：") + r + "/up", "file: " + r + "/a.txt"}));
        QCOMPARE(form.collectedFiles().toList(), QStringList({r + "/sub/b.txt", r + "/a.txt"}));
        QCOMPARE(read(dir.filePath("outside.txt")), QByteArray("plain textoutside.txt"));
    }

    void specialEntriesAreLeftOut()
    {
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        QVERIFY(makeFiles(dir.path(), {"a.txt"}));
        QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600) == 0);
        QVERIFY(QFile::link("/dev/null", dir.filePath("null")));
        QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("dangling")));
        Form form;
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QCOMPARE(form.collectedFiles().toList(), QStringList{dir.filePath("a.txt")});
#else
        QSKIP("Unix special files");
#endif
    }

    void folderWithoutFiles()
    {
        QTemporaryDir dir;
        const QString r = dir.path();
        QVERIFY(makeFiles(r, {".hidden"}));
        QVERIFY(QDir(r).mkpath("empty") && QDir(r).mkpath("deeper/inner"));
        Form form;
        form.findChild<QPlainTextEdit *>()->setPlainText("earlier text");
        BatchWatch watch(&form);
        QVERIFY(drop(&form, localUrls({r})));
        QCOMPARE(logrecorder::lines(), QStringList({"dir: " + r + "/deeper", "dir: " + r + "/deeper/inner",
                                                    "dir: " + r + "/empty", QStringLiteral("文件夹中没有文件：") + r}));
        QVERIFY(watch.seen.isNull() && watch.values.isEmpty());
        QVERIFY(form.findChildren<QProgressDialog *>().isEmpty());
        QVERIFY(form.collectedFiles().isEmpty());
        QCOMPARE(shown(form), QString());
    }

    void chineseFolderName()
    {
        QTemporaryDir dir;
        const QString r = dir.filePath(QStringLiteral("资料"));
        QVERIFY(makeFiles(r, {QStringLiteral("文档.txt"), QStringLiteral("子目录/表格.csv")}));
        Form form;
        QVERIFY(drop(&form, localUrls({r})));
        const QString doc = r + QStringLiteral("/文档.txt"), sheet = r + QStringLiteral("/子目录/表格.csv");
        QVERIFY(read(doc).startsWith(header()) && read(sheet).startsWith(header()));
        QCOMPARE(batchLines(), QStringList({"dir: " + r + QStringLiteral("/子目录"), "file: " + sheet, "file: " + doc,
                                            "开始加密", "加密文件已输出到:" + sheet, "加密文件已输出到:" + doc,
                                            "批量加密完成：加密2个，跳过0个，失败0个"}));
    }

    void filesChangingDuringTheBatch()
    {
        QTemporaryDir dir;
        QVERIFY(makeFiles(dir.path(), {"a", "b", "c", "d", "e"}));
        const QString a = dir.filePath("a"), b = dir.filePath("b"), c = dir.filePath("c"), d = dir.filePath("d"),
                      e = dir.filePath("e");
        const QByteArray cCipher = encryptedForm("c was encrypted meanwhile");
        const bool root = ::geteuid() == 0;
        Form form;
        form.show();
        BatchWatch watch(&form, 1, [&](QProgressDialog *) {
            QFile::remove(b);
            write(c, cCipher);
            QFile::remove(d);
            ::mkfifo(QFile::encodeName(d).constData(), 0600);
            QFile::setPermissions(e, QFileDevice::WriteOwner);
        });
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QVERIFY(watch.acted);
        const QString gone = QStringLiteral("文件已不存在或不是普通文件，跳过：");
        QCOMPARE(batchLines().mid(5),
                 QStringList({"开始加密", "加密文件已输出到:" + a, gone + b, "文件:" + c + "已经加密，不再加密",
                              gone + d, root ? "加密文件已输出到:" + e : QStringLiteral("文件无法读取，跳过：") + e,
                              root ? QStringLiteral("批量加密完成：加密2个，跳过3个，失败0个")
                                   : QStringLiteral("批量加密完成：加密1个，跳过3个，失败1个。失败的文件：") + e}));
        QCOMPARE(read(c), cCipher);
        QFile::setPermissions(e, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(read(e).startsWith(header()), root);
        QCOMPARE(shown(form), QStringList({a, b, c, d, e}).join('\n'));
    }

    void dropsAndClicksWaitForTheBatch()
    {
        QTemporaryDir dir;
        QVERIFY(makeFiles(dir.path(), {"one/1", "one/2", "one/3", "two/x"}));
        const QString one = dir.filePath("one"), two = dir.filePath("two");
        Form form;
        form.show();
        FileDialogAnswer noDialog{QString()}; // cancels a dialog that must not open
        BatchWatch watch(&form, 1, [&](QProgressDialog *) {
            drop(&form, localUrls({two}));
            for (const char *name :
                 {"encrypt_pushButton", "decrypt_pushButton", "encryptfile_pushButton", "decryptfile_pushButton"})
                form.findChild<QPushButton *>(name)->click();
        });
        QVERIFY(drop(&form, localUrls({one})));
        QVERIFY(watch.acted);
        QVERIFY(!noDialog.answered);
        const QString busy = QStringLiteral("正在批量处理，忽略：");
        QCOMPARE(batchLines().filter(busy), QStringList({busy + two, busy + "加密字符串", busy + "解密字符串",
                                                         busy + "加密文件", busy + "解密文件"}));
        QCOMPARE(read(dir.filePath("two/x")), QByteArray("plain texttwo/x"));
        QCOMPARE(shown(form), QStringList({one + "/1", one + "/2", one + "/3"}).join('\n'));
        QCOMPARE(batchLines().last(), QStringLiteral("批量加密完成：加密3个，跳过0个，失败0个"));

        // Once the batch is over, the form takes drops again.
        QVERIFY(drop(&form, localUrls({two})));
        QVERIFY(read(dir.filePath("two/x")).startsWith(header()));
    }

    void formClosedDuringTheBatch()
    {
        QTemporaryDir dir;
        const QStringList names{"1", "2", "3", "4"};
        QVERIFY(makeFiles(dir.path(), names));
        QPointer<Form> form = new Form;
        form->show();
        BatchWatch watch(form, 1, [&](QProgressDialog *) { form->deleteLater(); });
        QVERIFY(drop(form, localUrls({dir.path(), dir.filePath("1")})));
        QVERIFY(watch.acted);
        QVERIFY(form.isNull());
        // The batch stops once the form is gone; the second URL is not handled.
        int encrypted = 0;
        for (const QString &name : names)
            encrypted += read(dir.filePath(name)).startsWith(header()) ? 1 : 0;
        QVERIFY(encrypted >= 1 && encrypted < names.size());
        QVERIFY(read(dir.filePath("1")).startsWith(header()));
        QCOMPARE(batchLines().last(), QStringLiteral("批量加密已取消：加密%1个，跳过0个，失败0个，未处理%2个")
                                          .arg(encrypted)
                                          .arg(names.size() - encrypted));
    }
};

QTEST_MAIN(TestFolderBatch)
#include "tst_folderbatch.moc"
