// Long work never freezes the window: a flush or write that hangs (held here
// at will, as a slow or busy disk would) leaves the event loop turning, a
// file that takes long shows its progress and can be cancelled, and a
// cancel, a closed form or a quitting application leaves every file whole.
#include "FormDriver.h"
#include "LogRecorder.h"
#include "form/Form.h"

#include <QCloseEvent>
#include <QCryptographicHash>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <condition_variable>
#include <dlfcn.h>
#include <mutex>
#include <sys/stat.h>

using namespace vaultine;

using namespace formdriver;
using testfiles::entries;

namespace slowdisk {

// Holds the first flush of a new file, or the n-th chunk written (a write of
// a megabyte or more), until the test lets it go.
struct Gate
{
    std::mutex lock;
    std::condition_variable changed;
    enum class On { Nothing, Flush, ChunkWrite } on = On::Nothing;
    int chunkWrites = 0;
    int holdAtChunk = 0;
    bool held = false;
    bool released = false;
};

Gate &gate()
{
    static Gate g;
    return g;
}

void hold(Gate::On on, int atChunk = 0)
{
    std::lock_guard<std::mutex> lock(gate().lock);
    gate().on = on;
    gate().holdAtChunk = atChunk;
    gate().chunkWrites = 0;
    gate().held = gate().released = false;
}

bool isHeld()
{
    std::lock_guard<std::mutex> lock(gate().lock);
    return gate().held && !gate().released;
}

void release()
{
    {
        std::lock_guard<std::mutex> lock(gate().lock);
        gate().released = true;
        gate().on = Gate::On::Nothing;
    }
    gate().changed.notify_all();
}

// Called on the working thread: waits there while held.
void pass(Gate::On call)
{
    std::unique_lock<std::mutex> lock(gate().lock);
    Gate &g = gate();
    if (g.on != call || g.held)
        return;
    if (call == Gate::On::ChunkWrite && ++g.chunkWrites != g.holdAtChunk)
        return;
    g.held = true;
    g.changed.wait(lock, [&g] { return g.released; });
}

bool isRegularFile(int fd)
{
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace slowdisk

extern "C" int fsync(int fd)
{
    static const auto next = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    if (slowdisk::isRegularFile(fd))
        slowdisk::pass(slowdisk::Gate::On::Flush);
    return next(fd);
}

extern "C" ssize_t write(int fd, const void *buffer, size_t length)
{
    static const auto next = reinterpret_cast<ssize_t (*)(int, const void *, size_t)>(::dlsym(RTLD_NEXT, "write"));
    if (length >= (size_t(1) << 20) && slowdisk::isRegularFile(fd))
        slowdisk::pass(slowdisk::Gate::On::ChunkWrite);
    return next(fd, buffer, length);
}

namespace {

// Runs `action` once, from the event loop, as soon as `ready` holds.
class WhenReady : public QObject
{
public:
    WhenReady(std::function<bool()> ready, std::function<void()> action)
        : ready(std::move(ready))
        , action(std::move(action))
    {
        connect(&timer, &QTimer::timeout, this, [this] {
            if (done || !this->ready())
                return;
            done = true;
            this->action();
        });
        timer.start(1);
    }

    bool done = false;

private:
    std::function<bool()> ready;
    std::function<void()> action;
    QTimer timer;
};

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator random(20261208);
    for (char &c : bytes)
        c = char(random.bounded(256));
    bytes.back() = 'z'; // no trailing space to lose
    return bytes;
}

QByteArray sha(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QProgressDialog *visibleDialog(QWidget *form)
{
    QProgressDialog *dialog = form ? form->findChild<QProgressDialog *>() : nullptr;
    return dialog && dialog->isVisible() ? dialog : nullptr;
}

void clickCancel(QWidget *form)
{
    visibleDialog(form)->findChild<QPushButton *>()->click();
}

} // namespace

class TestLongWork : public QObject
{
    Q_OBJECT

private slots:
    void init() { logrecorder::clear(); }
    void cleanup() { slowdisk::release(); }

    void eventLoopTurnsWhileTheFlushHangs()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("long.bin"), other = dir.filePath("other.txt");
        const QByteArray plain = randomBytes(1 << 20);
        QVERIFY(write(path, plain) && write(other, "another file"));
        Form form;
        form.show();

        int ticksWhileHeld = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ticksWhileHeld += slowdisk::isHeld() ? 1 : 0; });
        ticker.start(5);
        QString title, label, cancelText;
        slowdisk::hold(slowdisk::Gate::On::Flush);
        WhenReady whileHeld([&] { return slowdisk::isHeld() && ticksWhileHeld >= 3 && visibleDialog(&form); },
                            [&] {
                                QProgressDialog *dialog = visibleDialog(&form);
                                title = dialog->windowTitle();
                                label = dialog->labelText();
                                cancelText = dialog->findChild<QPushButton *>()->text();
                                // The form is busy: a drop and a click wait their turn.
                                drop(&form, localUrls({other}));
                                form.findChild<QPushButton *>("encrypt_pushButton")->click();
                                slowdisk::release();
                            });
        QCOMPARE(form.encryptFile(path, path), 0);
        QVERIFY(whileHeld.done);
        QVERIFY(ticksWhileHeld >= 3);
        QCOMPARE(title, QStringLiteral("加解密进度对话框"));
        QVERIFY2(label.startsWith(QStringLiteral("正在加密：long.bin\n")), qPrintable(label));
        QCOMPARE(cancelText, QStringLiteral("取消"));
        QCOMPARE(logrecorder::takeLines(), QStringList({QStringLiteral("加密：文件大小：%1").arg(plain.size()),
                                                        QStringLiteral("正在处理文件，忽略：") + other,
                                                        QStringLiteral("正在处理文件，忽略：加密字符串")}));
        QVERIFY(read(path).startsWith(header()));
        QCOMPARE(read(other), QByteArray("another file"));
        QVERIFY(form.findChildren<QProgressDialog *>().isEmpty());
        QVERIFY(form.findChild<QPlainTextEdit *>()->toPlainText().isEmpty());
    }

    void cancelWhileTheFlushHangs_data()
    {
        QTest::addColumn<bool>("decrypting");
        QTest::newRow("encrypting") << false;
        QTest::newRow("decrypting") << true;
    }

    void cancelWhileTheFlushHangs()
    {
        QFETCH(bool, decrypting);
        QTemporaryDir dir;
        const QString path = dir.filePath("long.bin");
        QVERIFY(write(path, randomBytes(1 << 20)));
        Form form;
        form.show();
        if (decrypting)
            QCOMPARE(form.encryptFile(path, path), 0);
        const QByteArray before = read(path);
        logrecorder::clear();

        slowdisk::hold(slowdisk::Gate::On::Flush);
        WhenReady whileHeld([&] { return slowdisk::isHeld() && visibleDialog(&form); },
                            [&] {
                                clickCancel(&form);
                                slowdisk::release();
                            });
        QVERIFY(drop(&form, localUrls({path})));
        QVERIFY(whileHeld.done);
        QCOMPARE(sha(read(path)), sha(before));
        QCOMPARE(entries(dir.path()), QStringList{"long.bin"});
        const QString direction = decrypting ? QStringLiteral("解密") : QStringLiteral("加密");
        QCOMPARE(logrecorder::takeLines(),
                 QStringList({direction + QStringLiteral("：文件大小：%1").arg(before.size()),
                              direction + QStringLiteral("：已取消，原文件保持不变 ") + path}));
    }

    // 取消 inside a large file of a batch stops it there: the files already
    // done stay done, that one and the rest keep their bytes.
    void cancelInsideALargeBatchFile()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath("a.txt"), b = dir.filePath("b.bin"), c = dir.filePath("c.txt");
        const QByteArray large = randomBytes(20 << 20);
        QVERIFY(write(a, "small a") && write(b, large) && write(c, "small c"));
        Form form;
        form.show();
        slowdisk::hold(slowdisk::Gate::On::ChunkWrite, 2);
        WhenReady whileHeld([&] { return slowdisk::isHeld() && visibleDialog(&form); },
                            [&] {
                                clickCancel(&form);
                                slowdisk::release();
                            });
        QVERIFY(drop(&form, localUrls({dir.path()})));
        QVERIFY(whileHeld.done);
        QVERIFY(read(a).startsWith(header()));
        QCOMPARE(sha(read(b)), sha(large));
        QCOMPARE(read(c), QByteArray("small c"));
        QCOMPARE(entries(dir.path()), QStringList({"a.txt", "b.bin", "c.txt"}));
        QCOMPARE(logrecorder::lines().last(), QStringLiteral("批量加密已取消：加密1个，跳过0个，失败0个，未处理2个"));
        QCOMPARE(form.findChild<QPlainTextEdit *>()->toPlainText(), a);
    }

    void formClosedWhileAFileIsInHand()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("long.bin");
        const QByteArray plain = randomBytes(1 << 20);
        QVERIFY(write(path, plain));
        QPointer<Form> form = new Form;
        form->show();
        slowdisk::hold(slowdisk::Gate::On::Flush);
        WhenReady whileHeld(slowdisk::isHeld, [&] {
            delete form.data();
            slowdisk::release();
        });
        QVERIFY(drop(form, localUrls({path})));
        QVERIFY(whileHeld.done && form.isNull());
        QCOMPARE(sha(read(path)), sha(plain));
        QCOMPARE(entries(dir.path()), QStringList{"long.bin"});
        QCOMPARE(logrecorder::takeLines(), QStringList({QStringLiteral("加密：文件大小：%1").arg(plain.size()),
                                                        QStringLiteral("加密：已取消，原文件保持不变 ") + path}));
    }

    // The title bar's close button (a real close event on the top-level
    // window that holds the form) stops the file in hand as 取消 does.
    void windowClosedWhileAFileIsInHand()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("long.bin");
        const QByteArray plain = randomBytes(1 << 20);
        QVERIFY(write(path, plain));
        QWidget window;
        auto *form = new Form(&window);
        window.show();
        slowdisk::hold(slowdisk::Gate::On::Flush);
        bool accepted = false;
        WhenReady whileHeld(slowdisk::isHeld, [&] {
            QCloseEvent close;
            QApplication::sendEvent(&window, &close);
            accepted = close.isAccepted();
            slowdisk::release();
        });
        QCOMPARE(form->encryptFile(path, path), -1);
        QVERIFY(whileHeld.done && accepted);
        QCOMPARE(sha(read(path)), sha(plain));
        QCOMPARE(entries(dir.path()), QStringList{"long.bin"});
        QCOMPARE(logrecorder::takeLines(), QStringList({QStringLiteral("加密：文件大小：%1").arg(plain.size()),
                                                        QStringLiteral("加密：已取消，原文件保持不变 ") + path}));
    }

    // Closed during a batch: the file in hand keeps its bytes, the batch
    // ends as cancelled, and the rest of the drop is not started.
    void windowClosedDuringABatch()
    {
        QTemporaryDir dir, other;
        const QString a = dir.filePath("a.txt"), b = dir.filePath("b.bin"), c = dir.filePath("c.txt");
        const QString later = other.filePath("later.txt");
        const QByteArray large = randomBytes(20 << 20);
        QVERIFY(write(a, "small a") && write(b, large) && write(c, "small c") && write(later, "later"));
        QWidget window;
        auto *form = new Form(&window);
        window.show();
        slowdisk::hold(slowdisk::Gate::On::ChunkWrite, 2);
        WhenReady whileHeld([&] { return slowdisk::isHeld() && visibleDialog(form); },
                            [&] {
                                window.close();
                                slowdisk::release();
                            });
        QVERIFY(drop(form, localUrls({dir.path(), later})));
        QVERIFY(whileHeld.done);
        QVERIFY(!window.isVisible());
        QVERIFY(read(a).startsWith(header()));
        QCOMPARE(sha(read(b)), sha(large));
        QCOMPARE(read(c), QByteArray("small c"));
        QCOMPARE(read(later), QByteArray("later"));
        QCOMPARE(entries(dir.path()), QStringList({"a.txt", "b.bin", "c.txt"}));
        QCOMPARE(logrecorder::lines().last(), QStringLiteral("批量加密已取消：加密1个，跳过0个，失败0个，未处理2个"));
        QVERIFY(logrecorder::lines().filter(later).isEmpty());
    }

    // Last: it ends the event loops the test runs on, then starts one anew.
    void applicationQuitsWhileAFileIsInHand()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("long.bin");
        const QByteArray plain = randomBytes(1 << 20);
        QVERIFY(write(path, plain));
        Form form;
        form.show();
        slowdisk::hold(slowdisk::Gate::On::Flush);
        WhenReady whileHeld(slowdisk::isHeld, [&] {
            QCoreApplication::quit();
            slowdisk::release();
        });
        const int result = form.encryptFile(path, path);
        QVERIFY(whileHeld.done);
        // Old or new content, never neither, and nothing beside it.
        const QByteArray after = read(path);
        QVERIFY(result == 0 ? after.startsWith(header()) && after.size() == 17 + plain.size() : after == plain);
        QCOMPARE(entries(dir.path()), QStringList{"long.bin"});

        // The quit ends the loop it was meant for; work goes on afterwards.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
        QCOMPARE(form.encryptFile(path, path) == 0, result != 0);
    }
};

QTEST_MAIN(TestLongWork)
#include "tst_longwork.moc"
