// The core plug-in in a folder that other users may change: no plug-in of
// it is loaded, and the window itself (not only the log) says why and what
// to do.
#include "CoreHarness.h"

#include <QLabel>
#include <QMainWindow>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace coreharness;

class TestHubstoneUntrusted : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    Core m_core;
    char m_arg0[16] = "keystrel";
    char *m_argv[2] = {m_arg0, nullptr};

private slots:
    void untrustedFolderIsExplainedInTheWindow()
    {
        qunsetenv("KEYSTREL_LOG_TO_STDERR");
        const QString folder = m_root.path() + "/Plugin";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(copyInto(builtPluginDir() + "/Hubstone.so", folder, "Hubstone.so"));
        QVERIFY(copyInto(builtPluginDir() + "/Vaultine.so", folder, "Vaultine.so"));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
        QVERIFY2(m_core.load(folder), qPrintable(m_core.errorString()));
        QCOMPARE(m_core.initialize(1, m_argv), 0);
        QCOMPARE(m_core.delayedInitialize(), 0);

        const QString why = QStringLiteral("所有用户都可写入，权限 0777");
        QVERIFY(logLines().filter(QStringLiteral("跳过插件目录：") + folder + "（" + why + "）").size() == 1);
        QTabWidget *tabs = pluginTabs();
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->tabText(0), QStringLiteral("插件"));
        auto *note = qobject_cast<QLabel *>(tabs->widget(0));
        QVERIFY(note);
        const QString text = note->text();
        QVERIFY2(
            text.startsWith(QStringLiteral("未加载插件：其他用户可以修改插件目录\n") + folder + "\n（" + why + "）"),
            qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("chmod go-w")), qPrintable(text));
        QVERIFY(note->wordWrap());
    }
};

QTEST_MAIN(TestHubstoneUntrusted)
#include "tst_hubstoneuntrusted.moc"
