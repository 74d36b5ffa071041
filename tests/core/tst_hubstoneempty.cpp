// The core plug-in alone in its folder, and its entry points called out of
// order: nothing breaks, and the window says where plug-ins belong.
#include "CoreHarness.h"
#include "StderrCapture.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace coreharness;

class TestHubstoneEmpty : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    Core m_core;
    char m_arg0[16] = "keystrel";
    char *m_argv[2] = {m_arg0, nullptr};

private slots:
    void initTestCase()
    {
        qunsetenv("KEYSTREL_LOG_TO_STDERR");
        QVERIFY(m_folder.isValid());
        QVERIFY(copyInto(builtPluginDir() + "/Hubstone.so", m_folder.path(), "Hubstone.so"));
        QVERIFY2(m_core.load(m_folder.path()), qPrintable(m_core.errorString()));
    }

    void entryPointsBeforeInitialisationDoNothing()
    {
        QCOMPARE(m_core.shutdown(), 0);
        QCOMPARE(m_core.delayedInitialize(), 0);
        QCOMPARE(mainWindow(), nullptr);
    }

    void emptyFolderShowsWhereToPutPlugins()
    {
        StderrCapture capture;
        QCOMPARE(m_core.initialize(1, m_argv), 0);
        QCOMPARE(m_core.initialize(1, m_argv), 0); // a second call builds no second window
        QCOMPARE(m_core.delayedInitialize(), 0);
        const QByteArray err = capture.finish();

        int windows = 0;
        for (QWidget *widget : QApplication::topLevelWidgets())
            windows += widget->objectName() == QLatin1String("KeystrelMainWindow");
        QCOMPARE(windows, 1);
        QVERIFY(mainWindow()->isVisible());

        QTabWidget *tabs = pluginTabs();
        QCOMPARE(tabs->count(), 1);
        auto *note = qobject_cast<QLabel *>(tabs->widget(0));
        QVERIFY(note);
        QVERIFY(note->text().contains(m_folder.path()));

        const QString line = QStringLiteral("插件目录中没有插件：") + m_folder.path();
        QVERIFY(logLines().constLast().endsWith(line));
        // Unless asked for, no line goes to standard error.
        QVERIFY2(!err.contains("插件目录"), err.constData());
    }

    // This program has no resource bundle: each face is reported.
    void missingBundledFontsAreLogged()
    {
        for (const char *face : {"thin", "light", "regular", "medium", "bold", "black"}) {
            const QString line = QStringLiteral("无法注册字体：:/fonts/roboto_") + QLatin1String(face);
            QCOMPARE(logLines().filter(line).size(), 1);
        }
    }

    void shutdownClosesTheWindowOnce()
    {
        QPointer<QMainWindow> window = mainWindow();
        QVERIFY(window);
        QCOMPARE(m_core.shutdown(), 0);
        QVERIFY(window.isNull());
        QCOMPARE(m_core.shutdown(), 0);
    }
};

QTEST_MAIN(TestHubstoneEmpty)
#include "tst_hubstoneempty.moc"
