// Paths from the command line and from later starts reach the first tab
// that takes drops as one drag and drop, wait while the program is busy, and
// keep their order.
#include "CommandLinePaths.h"
#include "PathDelivery.h"
#include "PluginApi.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QMimeData>
#include <QProgressDialog>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// A plug-in page that takes drops and notes what it was given.
class DropRecorder : public QWidget
{
public:
    explicit DropRecorder(bool acceptsDrops) { setAcceptDrops(acceptsDrops); }

    int enters = 0;
    QList<QStringList> drops;     // the local paths of each drop
    QList<QByteArray> directions; // and the direction each asked for
    std::function<void()> duringDrop;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override
    {
        ++enters;
        if (event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent *event) override
    {
        QStringList paths;
        for (const QUrl &url : event->mimeData()->urls())
            paths << url.toLocalFile();
        drops << paths;
        const QString format = QLatin1String(pluginapi::kDropDirectionFormat);
        directions << (event->mimeData()->hasFormat(format) ? event->mimeData()->data(format) : "none");
        if (duringDrop)
            duringDrop();
    }
};

} // namespace

class TestPathDelivery : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QWidget *m_window = nullptr;
    QTabWidget *m_tabs = nullptr;
    DropRecorder *m_plain = nullptr; // takes no drops
    DropRecorder *m_first = nullptr;
    DropRecorder *m_second = nullptr;
    QStringList m_log;
    PathDelivery *m_delivery = nullptr;

    QString makeFile(const QString &name)
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::WriteOnly) ? file.fileName() : QString();
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_window = new QWidget;
        m_tabs = new QTabWidget(m_window);
        m_plain = new DropRecorder(false);
        m_first = new DropRecorder(true);
        m_second = new DropRecorder(true);
        m_tabs->addTab(m_plain, "plain");
        m_tabs->addTab(m_first, "first");
        m_tabs->addTab(m_second, "second");
        m_window->show();
        m_log.clear();
        m_delivery = new PathDelivery(
            m_window, m_tabs, [this](const QString &line) { m_log << line; }, m_window);
    }

    void cleanup() { delete m_window; }

    void argumentsBecomeAbsolutePaths()
    {
        const QString before = QDir::currentPath();
        QVERIFY(QDir(m_dir.path()).mkdir("sub"));
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QByteArray args[] = {"keystrel",  "notes.txt", "--alpha", "-x",    "sub/../other",
                             "/abs/path", "-",         "--",      "-dash", QStringLiteral("文件夹").toUtf8()};
        char *argv[11];
        for (int i = 0; i < 10; ++i)
            argv[i] = args[i].data();
        argv[10] = nullptr;
        const QStringList paths = commandlinepaths::fromArguments(10, argv);
        QDir::setCurrent(before);
        const QString here = QDir(m_dir.path()).canonicalPath();
        QCOMPARE(paths, QStringList({here + "/notes.txt", here + "/other", "/abs/path", here + "/-", here + "/-dash",
                                     here + "/文件夹"}));
        QCOMPARE(commandlinepaths::fromArguments(1, argv), QStringList());
    }

    // "lnk/../notes.txt" is the file next to where lnk leads, as `cat`
    // reads it; a missing folder before ".." leaves a name of nothing.
    void dotDotIsTakenWhereALinkLeads()
    {
        const QString base = QDir(m_dir.path()).canonicalPath();
        QVERIFY(QDir().mkpath(base + "/other/deep") && QDir().mkpath(base + "/work"));
        QVERIFY(QFile::link(base + "/other/deep", base + "/work/lnk"));
        QFile theirs(base + "/other/notes.txt");
        QFile ours(base + "/work/notes.txt");
        QVERIFY(theirs.open(QIODevice::WriteOnly) && theirs.write("other") == 5);
        QVERIFY(ours.open(QIODevice::WriteOnly) && ours.write("work") == 4);
        theirs.close();
        ours.close();

        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(base + "/work"));
        const QString viaLink = commandlinepaths::resolvedPath("lnk/../notes.txt");
        QFile kernel("lnk/../notes.txt");
        const bool kernelRead = kernel.open(QIODevice::ReadOnly) && kernel.readAll() == "other";
        const QString missing = commandlinepaths::resolvedPath("./gone/../notes.txt");
        const QString throughFile = commandlinepaths::resolvedPath("notes.txt/..//notes.txt");
        QDir::setCurrent(before);
        QVERIFY(kernelRead);
        QCOMPARE(viaLink, base + "/other/notes.txt");
        QCOMPARE(missing, base + "/work/gone/../notes.txt");
        QCOMPARE(throughFile, base + "/work/notes.txt/../notes.txt");
        QCOMPARE(commandlinepaths::resolvedPath("/../x/./y/"), QStringLiteral("/x/y"));
    }

    void directionOptions()
    {
        const auto directionOf = [](QList<QByteArray> args) {
            args.prepend("keystrel");
            std::vector<char *> argv;
            for (QByteArray &arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            return commandlinepaths::directionFromArguments(int(args.size()), argv.data());
        };
        QCOMPARE(directionOf({"a", "b"}), PathDirection::AsDropped);
        QCOMPARE(directionOf({"--encrypt", "a"}), PathDirection::Encrypt);
        QCOMPARE(directionOf({"a", "--decrypt"}), PathDirection::Decrypt);
        QCOMPARE(directionOf({"--decrypt", "--encrypt", "a"}), PathDirection::Contradictory);
        // After "--" it is a file's name.
        QCOMPARE(directionOf({"--", "--encrypt"}), PathDirection::AsDropped);
    }

    // The direction rides on the drop as a format of its own; a plain
    // hand-over has none, and both directions at once drop nothing.
    void directionTravelsWithTheDrop()
    {
        const QString file = makeFile("d.txt");
        m_delivery->enqueue({file}, Raise::Stays, PathDirection::Encrypt);
        m_delivery->enqueue({file}, Raise::Stays, PathDirection::Decrypt);
        m_delivery->enqueue({file}, Raise::Stays);
        QTRY_COMPARE(m_first->drops.size(), 3);
        QCOMPARE(m_first->directions, QList<QByteArray>({"encrypt", "decrypt", "none"}));

        m_log.clear(); // the later two waited for the first
        m_delivery->enqueue({file, m_dir.filePath("gone")}, Raise::Stays, PathDirection::Contradictory);
        QVERIFY(m_delivery->deliverNext());
        QCOMPARE(m_first->drops.size(), 3);
        QCOMPARE(m_log,
                 QStringList({"不能同时加密和解密（--encrypt 与 --decrypt），未处理：" + file,
                              "不能同时加密和解密（--encrypt 与 --decrypt），未处理：" + m_dir.filePath("gone")}));
    }

    // All paths of one hand-over in one drop on the first page that takes
    // drops; a path that names nothing only gets its log line.
    void oneDropOnTheFirstTabThatTakesDrops()
    {
        const QString file = makeFile("a.txt");
        const QString folder = m_dir.filePath("folder");
        QVERIFY(QDir().mkpath(folder));
        const QString missing = m_dir.filePath("missing.txt");
        QCOMPARE(m_tabs->currentWidget(), m_plain);

        m_delivery->enqueue({file, missing, folder}, Raise::Stays);
        QTRY_COMPARE(m_first->drops.size(), 1);
        QCOMPARE(m_first->drops.first(), QStringList({file, folder}));
        QCOMPARE(m_first->enters, 1);
        QCOMPARE(m_plain->enters + m_second->enters, 0);
        QCOMPARE(m_tabs->currentWidget(), m_first);
        QCOMPARE(m_log, QStringList{"路径不存在：" + missing});
        QCOMPARE(m_delivery->pending(), 0);
    }

    void nothingThatExistsMeansNoDrop()
    {
        m_delivery->enqueue({m_dir.filePath("gone")}, Raise::ToFront);
        QVERIFY(m_delivery->deliverNext());
        QCOMPARE(m_first->enters, 0);
        QCOMPARE(m_log, QStringList{"路径不存在：" + m_dir.filePath("gone")});
        // A start without paths only wants the window in front.
        m_delivery->enqueue({}, Raise::ToFront);
        QVERIFY(m_delivery->deliverNext());
        QCOMPARE(m_first->enters, 0);
        QCOMPARE(m_log.size(), 1);
    }

    void noTabTakesDrops()
    {
        m_first->setAcceptDrops(false);
        m_second->setAcceptDrops(false);
        const QString file = makeFile("b.txt");
        m_delivery->enqueue({file}, Raise::Stays);
        QVERIFY(m_delivery->deliverNext());
        QCOMPARE(m_log, QStringList{"没有接受拖放的插件，未处理：" + file});
        QCOMPARE(m_plain->enters, 0);
    }

    // A nested event loop (a plug-in waiting for its worker, a modal
    // dialog): hand-overs wait and then come in order, one drop each.
    void waitsForANestedLoopToEnd()
    {
        const QString one = makeFile("one.txt");
        const QString two = makeFile("two.txt");
        // The event loop of the program, and one nested in it.
        QEventLoop running;
        QEventLoop nested;
        bool waitedInside = false;
        QTimer::singleShot(0, &running, [&] {
            QTimer::singleShot(0, &nested, [&] {
                m_delivery->enqueue({one}, Raise::Stays);
                m_delivery->enqueue({two}, Raise::ToFront);
                waitedInside = !m_delivery->isIdle() && !m_delivery->deliverNext() && m_delivery->pending() == 2;
                nested.quit();
            });
            nested.exec();
            running.quit();
        });
        running.exec();
        QVERIFY(waitedInside);
        QCOMPARE(m_first->enters, 0);
        QCOMPARE(m_log, QStringList({"当前操作结束后再处理：" + one, "当前操作结束后再处理：" + two}));

        QTRY_COMPARE(m_first->drops.size(), 2);
        QCOMPARE(m_first->drops, QList<QStringList>({{one}, {two}}));
    }

    // A batch that pumps events under its window-modal progress dialog.
    void waitsWhileAModalDialogIsOpen()
    {
        const QString file = makeFile("c.txt");
        auto *progress = new QProgressDialog(m_window);
        progress->setWindowModality(Qt::WindowModal);
        progress->show();
        QCOMPARE(QApplication::activeModalWidget(), progress);

        m_delivery->enqueue({file}, Raise::Stays);
        QCoreApplication::processEvents(); // as the batch does after each file
        QVERIFY(!m_delivery->deliverNext());
        QCOMPARE(m_first->enters, 0);
        QCOMPARE(m_delivery->pending(), 1);

        delete progress;
        QTRY_COMPARE(m_first->drops.size(), 1);
        QCOMPARE(m_first->drops.first(), QStringList{file});
    }

    // Paths that come while a drop is being handled wait for its end.
    void noDropInsideADrop()
    {
        const QString outer = makeFile("outer.txt");
        const QString inner = makeFile("inner.txt");
        bool innerDelivered = true;
        bool innerSent = false;
        m_first->duringDrop = [&] {
            if (innerSent)
                return;
            innerSent = true;
            m_delivery->enqueue({inner}, Raise::Stays);
            innerDelivered = m_delivery->deliverNext();
        };
        m_delivery->enqueue({outer}, Raise::Stays);
        QVERIFY(m_delivery->deliverNext());
        QVERIFY(!innerDelivered);
        QTRY_COMPARE(m_first->drops.size(), 2);
        QCOMPARE(m_first->drops, QList<QStringList>({{outer}, {inner}}));
    }

    void pendingPathsCanBeTakenBack()
    {
        m_window->hide(); // not shown yet: nothing is delivered
        m_delivery->enqueue({"/x/1", "/x/2"}, Raise::Stays);
        m_delivery->enqueue({"/x/3"}, Raise::ToFront);
        QVERIFY(!m_delivery->deliverNext());
        QCOMPARE(m_delivery->takePending(), QStringList({"/x/1", "/x/2", "/x/3"}));
        QCOMPARE(m_delivery->pending(), 0);
    }
};

QTEST_MAIN(TestPathDelivery)
#include "tst_pathdelivery.moc"
