// The core plug-in hosting the real encryption plug-in: its tab, its form
// inside the window, the bundled fonts and icon, Qt's own texts in Chinese,
// and a clean quit that releases the form.
#include "CoreHarness.h"
#include "StderrCapture.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace coreharness;

class TestHubstoneVaultine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    Core m_core;
    char m_arg0[16] = "keystrel";
    char *m_argv[2] = {m_arg0, nullptr};

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QVERIFY(copyInto(builtPluginDir() + "/Hubstone.so", m_folder.path(), "Hubstone.so"));
        QVERIFY(copyInto(builtPluginDir() + "/Vaultine.so", m_folder.path(), "Vaultine.so"));
        QVERIFY2(m_core.load(m_folder.path()), qPrintable(m_core.errorString()));
        StderrCapture capture;
        m_core.initialize(1, m_argv);
        m_core.delayedInitialize();
    }

    void encryptionFormIsTheOnlyTab()
    {
        QTabWidget *tabs = pluginTabs();
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Encryption"));
        QCOMPARE(tabs->tabToolTip(0), QStringLiteral("类别：文本\n版本：1.0.0\n类型：1"));
        QWidget *form = tabs->widget(0);
        QCOMPARE(form->metaObject()->className(), "Form");
        QVERIFY(form->isVisible());
        QCOMPARE(form->window(), mainWindow());
        QVERIFY(form->findChild<QPlainTextEdit *>("plainTextEdit"));
        QCOMPARE(form->findChildren<QPushButton *>().size(), 4);
        QVERIFY(logLines().constLast().endsWith(QStringLiteral("已加载插件：Encryption（Vaultine.so）")));
    }

    void bundledFontsAndIconAreUsed()
    {
        // The six faces were added before any widget existed, in order.
        QStringList families;
        for (int id = 0; id < 6; ++id)
            families << QFontDatabase::applicationFontFamilies(id);
        QCOMPARE(families.size(), 6);
        QCOMPARE(families.filter(QRegularExpression("^Roboto")).size(), 6);
        QVERIFY(logLines().filter("无法注册字体").isEmpty());

        QVERIFY(!QApplication::windowIcon().isNull());
        QVERIFY(!mainWindow()->windowIcon().isNull());
        QVERIFY(!mainWindow()->windowIcon().pixmap(32, 32).isNull()); // the SVG renders
    }

    // The window's language for what Qt itself draws: standard buttons, the
    // text area's context menu.
    void qtsOwnTextsAreChinese()
    {
        QVERIFY(logLines().filter(QStringLiteral("Qt 的中文翻译")).isEmpty());
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        QCOMPARE(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
        auto *text = pluginTabs()->widget(0)->findChild<QPlainTextEdit *>("plainTextEdit");
        QVERIFY(text);
        std::unique_ptr<QMenu> menu(text->createStandardContextMenu());
        QStringList entries;
        for (const QAction *action : menu->actions())
            entries << action->text().section(QLatin1Char('\t'), 0, 0);
        QVERIFY2(entries.contains(QStringLiteral("全选")), qPrintable(entries.join(" | ")));
        QVERIFY2(entries.filter(QStringLiteral("粘贴")).size() == 1, qPrintable(entries.join(" | ")));
    }

    void closingTheWindowReleasesTheForm()
    {
        QPointer<QWidget> form = pluginTabs()->widget(0);
        QPointer<QMainWindow> window = mainWindow();
        connect(
            qApp, &QCoreApplication::aboutToQuit, qApp, [this] { m_core.shutdown(); }, Qt::DirectConnection);
        QTimer::singleShot(0, window, [window] { window->close(); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(window.isNull());
        QVERIFY(form.isNull()); // deleteLater ran once the loop was left
    }
};

QTEST_MAIN(TestHubstoneVaultine)
#include "tst_hubstonevaultine.moc"
