// The core plug-in hosting test plug-ins from a temporary plug-in folder:
// which libraries become tabs, which are skipped and why, the life cycle it
// drives, the log pane and its mirror on standard error, and quitting by
// closing the window.
#include "CoreHarness.h"
#include "FileDialogAnswer.h"
#include "StderrCapture.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace coreharness;

namespace {

const QString kFixtureDir = QStringLiteral(HUBSTONE_FIXTURE_DIR);
constexpr uid_t kNobody = 65534;

// "hh:mm:ss.zzz  " in front of every line of the pane.
const QRegularExpression kStamped(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  (.*)$"));

QStringList unstamped(const QStringList &lines)
{
    QStringList texts;
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = kStamped.match(line);
        texts << (match.hasMatch() ? match.captured(1) : QStringLiteral("<no time stamp> ") + line);
    }
    return texts;
}

QStringList linesOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QWidget *logPane()
{
    return mainWindow()->findChild<QWidget *>(QStringLiteral("logPane"));
}

void clearLog()
{
    QTest::mouseClick(mainWindow()->findChild<QPushButton *>("clearLogButton"), Qt::LeftButton);
}

QStringList entriesOf(const QString &plugin)
{
    return journal().filter(QRegularExpression(QLatin1Char('^') + plugin + QLatin1Char(':')));
}

} // namespace

class TestHubstoneShell : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    Core m_core;
    QByteArray m_stderrAtStart;
    char m_arg0[16] = "keystrel-test";
    char m_arg1[16] = "--alpha";
    QByteArray m_arg2 = QStringLiteral("第二个参数").toUtf8();
    char *m_argv[4] = {m_arg0, m_arg1, m_arg2.data(), nullptr};

    QPointer<QWidget> pluginPage(const QString &name)
    {
        QTabWidget *tabs = pluginTabs();
        for (int i = 0; tabs && i < tabs->count(); ++i) {
            if (tabs->tabText(i) == name)
                return tabs->widget(i);
        }
        return nullptr;
    }

private slots:
    // Files that only another user could have put there.
    bool ownedByAnother() const { return ::geteuid() == 0; }

    void initTestCase()
    {
        // Mirrored log lines are how this test sees the log without a window.
        qputenv("KEYSTREL_LOG_TO_STDERR", "1");
        QVERIFY(m_folder.isValid());
        const QString dir = m_folder.path();
        QVERIFY(copyInto(builtPluginDir() + "/Hubstone.so", dir, "Hubstone.so"));
        // File names order the tabs, not plug-in names.
        QVERIFY(copyInto(kFixtureDir + "/tp_zeta.so", dir, "a_Zeta.so"));
        QVERIFY(copyInto(kFixtureDir + "/tp_alpha.so", dir, "b_Alpha.so"));
        QVERIFY(copyInto(kFixtureDir + "/tp_impostor.so", dir, "c_Impostor.so"));
        QVERIFY(copyInto(kFixtureDir + "/tp_nowidgetentry.so", dir, "d_NoWidgetEntry.so"));
        QFile garbage(dir + "/e_Garbage.so");
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write("not a shared library\n");
        garbage.close();
        QVERIFY(copyInto(kFixtureDir + "/tp_headless.so", dir, "f_Headless.so"));
        // Entry points that only Hubstone, a library they depend on, has.
        QVERIFY(copyInto(kFixtureDir + "/tp_nolifecycle.so", dir, "g_NoLifecycle.so"));
        QVERIFY(copyInto(kFixtureDir + "/tp_noname.so", dir, "h_NoName.so"));
        // Plug-ins that other users could have changed.
        QVERIFY(copyInto(kFixtureDir + "/tp_alpha.so", dir, "i_WorldWritable.so"));
        QVERIFY(::chmod(QFile::encodeName(dir + "/i_WorldWritable.so").constData(), 0666) == 0);
        QVERIFY(copyInto(kFixtureDir + "/tp_alpha.so", dir, "j_GroupWritable.so"));
        QVERIFY(::chmod(QFile::encodeName(dir + "/j_GroupWritable.so").constData(), 0775) == 0);
        QVERIFY(QDir().mkpath(dir + "/shared"));
        QVERIFY(::chmod(QFile::encodeName(dir + "/shared").constData(), 01777) == 0);
        QVERIFY(copyInto(kFixtureDir + "/tp_alpha.so", dir + "/shared", "Alpha.so"));
        QVERIFY(QFile::link(dir + "/shared/Alpha.so", dir + "/k_LinkIntoShared.so"));
        if (ownedByAnother()) {
            QVERIFY(copyInto(kFixtureDir + "/tp_alpha.so", dir, "l_Nobodys.so"));
            QVERIFY(::chown(QFile::encodeName(dir + "/l_Nobodys.so").constData(), kNobody, kNobody) == 0);
        }
        QFile notes(dir + "/notes.txt");
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.close();

        QVERIFY2(m_core.load(dir), qPrintable(m_core.errorString()));
        QCOMPARE(QByteArray(m_core.name()), QByteArray("Core"));
        QCOMPARE(mainWindow(), nullptr);

        StderrCapture capture;
        m_core.initialize(3, m_argv);
        QVERIFY(mainWindow());
        QVERIFY(!mainWindow()->isVisible()); // shown once everything is in place
        m_core.delayedInitialize();
        // Arguments that are no options name paths, from the working
        // directory; this one names nothing, which the window says once it
        // runs.
        const QString missing = QDir::current().absoluteFilePath("第二个参数");
        QTRY_VERIFY(unstamped(logLines()).contains("路径不存在：" + missing));
        QCOMPARE(unstamped(logLines()).filter("第二个参数").size(), 1);
        m_stderrAtStart = capture.finish();
    }

    void windowHasOneTabPerPluginInFileNameOrder()
    {
        QMainWindow *window = mainWindow();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Keystrel"));
        // The class the desktop entry names, whatever the program's name.
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Keystrel"));
        // On the screen's free area (800 by 600 here) with room left for a
        // title bar and borders.
        const QRect available = window->screen()->availableGeometry();
        const QRect framed(window->frameGeometry().topLeft(), window->frameGeometry().size() + QSize(8, 34));
        QVERIFY2(available.contains(framed), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                            .arg(window->x())
                                                            .arg(window->y())
                                                            .arg(window->width())
                                                            .arg(window->height())));

        QTabWidget *tabs = pluginTabs();
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Zeta"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Alpha"));
        for (int i = 0; i < tabs->count(); ++i)
            QCOMPARE(tabs->tabToolTip(i), QStringLiteral("类别：测试\n版本：2.5.1\n类型：7"));

        // Each tab holds the very widget its plug-in hands out.
        QLibrary zeta(m_folder.path() + "/a_Zeta.so");
        QVERIFY(zeta.load());
        auto widgetOf = reinterpret_cast<pluginapi::WidgetFn>(zeta.resolve(pluginapi::kWidget));
        QVERIFY(widgetOf && widgetOf());
        QCOMPARE(tabs->widget(0), widgetOf());
        QCOMPARE(tabs->widget(0)->objectName(), QStringLiteral("ZetaWidget"));
        QCOMPARE(tabs->widget(1)->objectName(), QStringLiteral("AlphaWidget"));
        QVERIFY(tabs->widget(0)->window() == window);
    }

    // Beside the plug-ins that run, the window says that others could not
    // be loaded, and which (the note's tool tip).
    void skippedPluginsAreNamedInTheWindow()
    {
        auto *note = mainWindow()->findChild<QLabel *>("unloadedPluginsNote");
        QVERIFY(note);
        QVERIFY(note->isVisible());
        const QStringList unloaded = note->toolTip().split('\n');
        QCOMPARE(note->text(), QStringLiteral("%1个插件无法加载（原因见日志）").arg(unloaded.size()));
        QVERIFY(unloaded.contains("c_Impostor.so（这是核心插件）"));
        QVERIFY(unloaded.filter(QRegularExpression("^e_Garbage\\.so（.+）$")).size() == 1);
        QVERIFY(unloaded.filter("Zeta").isEmpty() && unloaded.filter("Alpha.so").isEmpty());
    }

    void nonPluginsAreSkippedWithALogLine()
    {
        const QString dir = m_folder.path();
        const QStringList log = unstamped(logLines());
        QVERIFY2(log.contains("插件目录：" + dir), qPrintable(log.join('\n')));
        QVERIFY(log.contains("跳过核心插件自身：" + dir + "/Hubstone.so"));
        QVERIFY(log.contains("跳过：" + dir + "/c_Impostor.so（这是核心插件）"));
        QVERIFY(log.contains("跳过：" + dir + "/d_NoWidgetEntry.so（缺少入口：pluginWidget）"));
        // Looked at before the loader could trip over it.
        QVERIFY(log.contains("跳过：" + dir + "/e_Garbage.so（不是可加载的库文件）"));
        QVERIFY(log.contains("已加载插件：Zeta（a_Zeta.so）"));
        QVERIFY(log.contains("已加载插件：Alpha（b_Alpha.so）"));
        QVERIFY(log.contains("已加载插件：Headless（f_Headless.so）"));
        QVERIFY(log.contains("插件没有界面：Headless"));
        QCOMPARE(log.filter("notes.txt").size(), 0);

        // Neither skipped plug-in was started.
        QCOMPARE(entriesOf("Core"), QStringList());
        QCOMPARE(entriesOf("NoWidgetEntry"), QStringList());
    }

    // Looked up in the plug-in's dependencies, these names would be found
    // in Hubstone, and its own entry points would be called through the
    // plug-in: as "Core" it would even pass for the core plug-in.
    void entryPointsOnlyFromThePluginItself()
    {
        const QString dir = m_folder.path();
        const QStringList log = unstamped(logLines());
        QVERIFY2(log.contains("跳过：" + dir
                              + "/g_NoLifecycle.so（缺少入口：initializePlugin, delayedInitialize, "
                                "shutdownPlugin）"),
                 qPrintable(log.join('\n')));
        QVERIFY(log.contains("跳过：" + dir + "/h_NoName.so（缺少入口：pluginName）"));
        QCOMPARE(log.filter("NoLifecycle").size(), 1);
        QCOMPARE(log.filter("NoName").size(), 1);
        QCOMPARE(entriesOf("NoLifecycle"), QStringList());
    }

    void pluginsOtherUsersCanChangeAreSkipped()
    {
        const QString dir = m_folder.path();
        const QStringList log = unstamped(logLines());
        QVERIFY2(log.contains("跳过：" + dir + "/i_WorldWritable.so（所有用户都可写入，权限 0666）"),
                 qPrintable(log.join('\n')));
        QVERIFY(log.contains("跳过：" + dir + "/j_GroupWritable.so（同组用户可写入，权限 0775）"));
        // A link is followed only into a folder that only this user can change.
        QVERIFY(log.contains("跳过：" + dir + "/k_LinkIntoShared.so（链接目标所在目录 " + dir
                             + "/shared：所有用户都可写入，权限 1777）"));
        if (ownedByAnother())
            QVERIFY(log.contains("跳过：" + dir + "/l_Nobodys.so（属于其他用户，uid 65534）"));
        // Only Zeta and Alpha, once each, made it to a tab.
        QCOMPARE(pluginTabs()->count(), 2);
        QCOMPARE(log.filter("已加载插件：").size(), 3);
        QCOMPARE(log.filter("跳过").size(), ownedByAnother() ? 10 : 9);
        if (!ownedByAnother())
            QSKIP("not root: no file of another user could be made");
    }

    void pluginsAreInitialisedWithTheCommandLineThenStarted()
    {
        const QString init = QStringLiteral("initializePlugin 3 keystrel-test|--alpha|第二个参数");
        QCOMPARE(journal(), QStringList({"Zeta:" + init, "Alpha:" + init, "Headless:" + init, "Zeta:delayedInitialize",
                                         "Alpha:delayedInitialize", "Headless:delayedInitialize"}));
        // What a plug-in logs while starting reaches the pane.
        QVERIFY(unstamped(logLines()).contains("Alpha says hello"));
    }

    void everyLineIsStampedAndMirroredWhenAsked()
    {
        const QStringList lines = logLines();
        QVERIFY(lines.size() >= 10);
        for (const QString &line : lines)
            QVERIFY2(kStamped.match(line).hasMatch(), qPrintable(line));
        // The start-up lines went to stderr too (KEYSTREL_LOG_TO_STDERR=1),
        // stamped the same way.
        for (const QString &line : lines)
            QVERIFY2(m_stderrAtStart.contains(line.toUtf8() + '\n'), qPrintable(line));

        StderrCapture capture;
        const QTime before = QTime::currentTime();
        m_core.showLog(QStringLiteral("加密：文件大小：42"));
        const QTime after = QTime::currentTime();
        const QByteArray err = capture.finish();
        const QString last = logLines().constLast();
        QCOMPARE(unstamped({last}), QStringList("加密：文件大小：42"));
        QCOMPARE(err, last.toUtf8() + '\n');

        // The stamp is the local time of day (the test runs in UTC+8).
        if (after < before)
            QSKIP("midnight passed during the call");
        const QTime stamp = QTime::fromString(last.left(12), QStringLiteral("hh:mm:ss.zzz"));
        QVERIFY2(before <= stamp && stamp <= after, qPrintable(last));
    }

    // The text a user typed, its decryption and their ciphertexts (the key
    // is built in) stay in the window, even with the mirror on.
    void textLinesAreNeverMirrored()
    {
        const QStringList windowOnly = {"原始字符串：机密 secret", "加密二进制：00ff", "原始二进制字符串：00ff",
                                        "解密字符串：机密 secret"};
        const QString mirrored = QStringLiteral("file: /tmp/原始字符串：.txt");
        StderrCapture capture;
        for (const QString &line : windowOnly + QStringList(mirrored))
            m_core.showLog(line);
        const QByteArray err = capture.finish();
        QCOMPARE(unstamped(logLines()).mid(logLines().size() - 5), windowOnly + QStringList(mirrored));
        QCOMPARE(unstamped(QString::fromUtf8(err).split('\n', Qt::SkipEmptyParts)), QStringList(mirrored));
    }

    void lineFromAnotherThreadArrivesThroughTheEventLoop()
    {
        StderrCapture capture;
        std::thread worker([this] { m_core.showLog(QStringLiteral("来自线程")); });
        worker.join();
        QVERIFY(capture.finish().endsWith("来自线程\n"));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(unstamped(logLines()).constLast(), QStringLiteral("来自线程"));
    }

    void logPaneIsReadOnlyUnderTheTabs()
    {
        QPlainTextEdit *view = logView();
        QVERIFY(view);
        QVERIFY(view->isReadOnly());
        QVERIFY(view->isVisible());
        auto *splitter = mainWindow()->findChild<QSplitter *>("logSplitter");
        QVERIFY(splitter);
        QCOMPARE(splitter->orientation(), Qt::Vertical);
        QCOMPARE(splitter->widget(0), pluginTabs());
        QVERIFY(splitter->widget(1)->isAncestorOf(view));
    }

    void logPaneKeepsOnlyTheNewestLines()
    {
        QPlainTextEdit *view = logView();
        const int cap = view->maximumBlockCount();
        QVERIFY(cap >= 1000); // a folder batch's worth
        const int total = cap + 321;
        StderrCapture capture;
        for (int i = 0; i < total; ++i)
            m_core.showLog(QStringLiteral("file: /tmp/%1").arg(i));
        const QByteArray err = capture.finish();
        QCOMPARE(err.count('\n'), total); // stderr keeps everything

        const QStringList lines = unstamped(logLines());
        QCOMPARE(lines.size(), cap);
        QCOMPARE(lines.constFirst(), QStringLiteral("file: /tmp/%1").arg(total - cap));
        QCOMPARE(lines.constLast(), QStringLiteral("file: /tmp/%1").arg(total - 1));
    }

    void copyAndClearButtons()
    {
        QPlainTextEdit *view = logView();
        m_core.showLog(QStringLiteral("复制这一行"));
        QGuiApplication::clipboard()->clear();
        auto *copy = mainWindow()->findChild<QPushButton *>("copyLogButton");
        auto *clear = mainWindow()->findChild<QPushButton *>("clearLogButton");
        QVERIFY(copy && clear);
        QTest::mouseClick(copy, Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), view->toPlainText());
        // The line was still pending: copying shows and takes it.
        QVERIFY(QGuiApplication::clipboard()->text().endsWith("复制这一行"));

        m_core.showLog(QStringLiteral("清空之前")); // still pending: cleared too
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(view->toPlainText(), QString());
        m_core.showLog(QStringLiteral("清空之后"));
        QCoreApplication::processEvents(); // the next turn of the loop shows it
        QCOMPARE(unstamped(logLines()), QStringList("清空之后"));
    }

    // Past the view's lines a note says how many it no longer shows; the
    // whole log, its oldest lines too, can still be saved, without the texts
    // a user typed.
    void droppedLinesAreSaidAndTheWholeLogSaved()
    {
        clearLog();
        auto *note = mainWindow()->findChild<QLabel *>("logDroppedNote");
        QVERIFY(note);
        const int cap = logView()->maximumBlockCount();
        const QString failure = QStringLiteral("文件无法读取，跳过：/tmp/最早的失败");
        StderrCapture capture;
        m_core.showLog(failure);
        m_core.showLog(QStringLiteral("原始字符串：机密 secret"));
        for (int i = 0; i < cap + 98; ++i)
            m_core.showLog(QStringLiteral("file: /tmp/%1").arg(i));
        capture.finish();
        QCOMPARE(logLines().size(), cap);
        QVERIFY(!unstamped(logLines()).contains(failure));
        QVERIFY(note->isVisibleTo(logPane()));
        QCOMPARE(note->text(), QStringLiteral("日志过长，窗口中已省略较早的100行（右键“保存日志…”可保存全部日志）"));

        QTemporaryDir dir;
        const QString path = dir.filePath("全部日志.txt");
        bool saved = false;
        QVERIFY(QMetaObject::invokeMethod(logPane(), "saveTo", Q_RETURN_ARG(bool, saved), Q_ARG(QString, path)));
        QVERIFY(saved);
        const QStringList lines = unstamped(linesOfFile(path));
        QCOMPARE(lines.size(), cap + 100);
        QCOMPARE(lines.at(0), failure);
        QCOMPARE(lines.at(1), QStringLiteral("原始字符串：（这段文字只在窗口中显示，不保存）"));
        QCOMPARE(lines.constLast(), QStringLiteral("file: /tmp/%1").arg(cap + 97));
        QCOMPARE(unstamped(logLines()).constLast(), QStringLiteral("日志已保存到：") + QDir::toNativeSeparators(path));

        // A file that cannot be written says so.
        const QString nowhere = dir.filePath("no/such/folder/log.txt");
        QVERIFY(QMetaObject::invokeMethod(logPane(), "saveTo", Q_RETURN_ARG(bool, saved), Q_ARG(QString, nowhere)));
        QVERIFY(!saved);
        QVERIFY(unstamped(logLines()).constLast().startsWith(QStringLiteral("无法保存日志：") + nowhere + "（"));

        clearLog();
        QVERIFY(!note->isVisibleTo(logPane()));
    }

    // The view's context menu offers to save the log, through a file dialog.
    void contextMenuSavesTheLog()
    {
        clearLog();
        m_core.showLog(QStringLiteral("保存这一行"));
        QTemporaryDir dir;
        const QString path = dir.filePath("log.txt");
        QPlainTextEdit *view = logView();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), view->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(view->viewport(), &event);
        QPointer<QMenu> menu = view->findChild<QMenu *>();
        QVERIFY(menu && menu->isVisible());
        auto *save = menu->findChild<QAction *>("saveLogAction");
        QVERIFY(save);
        QCOMPARE(save->text(), QStringLiteral("保存日志…"));
        QString startedIn;
        testdialogs::FileDialogAnswer answer(path,
                                             [&](QFileDialog *dialog) { startedIn = dialog->directory().path(); });
        save->trigger();
        QVERIFY(answer.answered);
        QCOMPARE(unstamped(linesOfFile(path)), QStringList("保存这一行"));
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(startedIn, QDir(documents).exists() ? documents : QDir::homePath());
        if (menu) // it closes itself once the dialog takes over
            menu->close();
    }

    // A line break or a terminal control in a line (a file's name) cannot
    // make a line of its own: the pane and the mirror show it escaped, the
    // line itself stays as it was made.
    void controlCharactersInALineAreShownEscaped()
    {
        clearLog();
        const QString forged = QStringLiteral("12:00:00.000  加密文件已输出到:/tmp/假");
        const QString line =
            QStringLiteral("加密文件已输出到:/tmp/a\n") + forged + QStringLiteral("\x1b[2J\u2028b\tc\u0085.txt");
        StderrCapture capture;
        m_core.showLog(line);
        const QByteArray err = capture.finish();
        const QString shown = QStringLiteral("加密文件已输出到:/tmp/a\\n") + forged
                              + QStringLiteral("\\033[2J\\342\\200\\250b\\tc\\302\\205.txt");
        QCOMPARE(unstamped(logLines()), QStringList(shown));
        QCOMPARE(unstamped(QString::fromUtf8(err).split('\n', Qt::SkipEmptyParts)), QStringList(shown));
        // Plain lines are shown as they are.
        m_core.showLog(QStringLiteral("file: /tmp/名字 with \\ and spaces"));
        QCOMPARE(unstamped(logLines()).constLast(), QStringLiteral("file: /tmp/名字 with \\ and spaces"));
    }

    void closingTheWindowQuitsAndShutsEveryPluginDownOnce()
    {
        QPointer<QWidget> zeta = pluginPage("Zeta");
        QPointer<QWidget> alpha = pluginPage("Alpha");
        QPointer<QMainWindow> window = mainWindow();
        QVERIFY(zeta && alpha && window);
        journal().clear();

        // As the launcher does it.
        connect(
            qApp, &QCoreApplication::aboutToQuit, qApp, [this] { m_core.shutdown(); }, Qt::DirectConnection);
        QTimer::singleShot(0, window, [window] { window->close(); });
        StderrCapture capture;
        QCOMPARE(QApplication::exec(), 0);
        capture.finish();

        // Last loaded, first shut down; each widget out of the window before
        // its plug-in releases it, and deleted exactly once.
        QCOMPARE(journal(),
                 QStringList({"Headless:shutdownPlugin", "Alpha:shutdownPlugin parent=none",
                              "Zeta:shutdownPlugin parent=none", "Alpha:widget destroyed", "Zeta:widget destroyed"}));
        QVERIFY(zeta.isNull());
        QVERIFY(alpha.isNull());
        QVERIFY(window.isNull());

        // A second shutdown, or a late start, changes nothing.
        QCOMPARE(m_core.shutdown(), 0);
        QCOMPARE(m_core.delayedInitialize(), 0);
        QCOMPARE(m_core.initialize(3, m_argv), 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(journal().size(), 5);
        QCOMPARE(mainWindow(), nullptr);

        // Without a pane the log still reaches stderr.
        StderrCapture late;
        m_core.showLog(QStringLiteral("退出之后"));
        QVERIFY(late.finish().endsWith("退出之后\n"));
    }
};

QTEST_MAIN(TestHubstoneShell)
#include "tst_hubstoneshell.moc"
