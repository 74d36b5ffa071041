// The built plug-ins as a loader meets them: exports, descriptions, the
// widget life cycle, and the log and notice sinks bound to the core plug-in.
#include "PluginApi.h"
#include "StderrCapture.h"

#include <QApplication>
#include <QDir>
#include <QLibrary>
#include <QPointer>
#include <QtTest>

#include <cstring>
#include <dlfcn.h>

namespace {
const QString kPluginDir = QStringLiteral(KEYSTREL_PLUGIN_DIR);
constexpr char kShowLogSymbol[] = "_Z11ShowLogFuncRK7QString";
constexpr char kShowNoticeSymbol[] = "_Z14ShowNoticeFuncRK7QStringx";
} // namespace

class TestVaultinePlugin : public QObject
{
    Q_OBJECT

    QLibrary m_vaultine;

private slots:
    void initTestCase()
    {
        // Load from elsewhere: the run path, not the working directory, must
        // find the core plug-in.
        QDir::setCurrent(QDir::rootPath());
        // The core plug-in's sink then shows its lines on standard error.
        qputenv("KEYSTREL_LOG_TO_STDERR", "1");
        m_vaultine.setFileName(kPluginDir + "/Vaultine.so");
        QVERIFY2(m_vaultine.load(), qPrintable(m_vaultine.errorString()));
    }

    void everyExportResolves()
    {
        for (const char *name : {pluginapi::kInitialize, pluginapi::kDelayedInitialize, pluginapi::kShutdown,
                                 pluginapi::kWidget, pluginapi::kName, pluginapi::kCategory, pluginapi::kDescription,
                                 pluginapi::kLicense, pluginapi::kType, pluginapi::kVersion})
            QVERIFY2(m_vaultine.resolve(name), name);
        // Internals stay hidden.
        QVERIFY(!m_vaultine.resolve("_ZN4Form13encryptBufferEPhi"));
    }

    void descriptions()
    {
        auto text = [this](const char *name) {
            return reinterpret_cast<pluginapi::TextFn>(m_vaultine.resolve(name))();
        };
        QCOMPARE(QByteArray(text(pluginapi::kName)), QByteArray("Encryption"));
        QCOMPARE(QByteArray(text(pluginapi::kCategory)), QByteArray("\xE6\x96\x87\xE6\x9C\xAC"));
        QCOMPARE(std::strlen(text(pluginapi::kCategory)), size_t(6));
        QCOMPARE(QByteArray(text(pluginapi::kVersion)), QByteArray("1.0.0"));
        QVERIFY(text(pluginapi::kDescription) != nullptr);
        QCOMPARE(QByteArray(text(pluginapi::kDescription)), QByteArray());
        // One function under two names.
        QCOMPARE(reinterpret_cast<void *>(m_vaultine.resolve(pluginapi::kDescription)),
                 reinterpret_cast<void *>(m_vaultine.resolve(pluginapi::kLicense)));
        QCOMPARE(reinterpret_cast<pluginapi::TypeFn>(m_vaultine.resolve(pluginapi::kType))(), 1);
    }

    void widgetLifeCycle()
    {
        auto widget = reinterpret_cast<pluginapi::WidgetFn>(m_vaultine.resolve(pluginapi::kWidget));
        auto init = reinterpret_cast<pluginapi::InitializeFn>(m_vaultine.resolve(pluginapi::kInitialize));
        auto delayed =
            reinterpret_cast<pluginapi::DelayedInitializeFn>(m_vaultine.resolve(pluginapi::kDelayedInitialize));
        auto shutdown = reinterpret_cast<pluginapi::ShutdownFn>(m_vaultine.resolve(pluginapi::kShutdown));

        QCOMPARE(widget(), nullptr);
        QCOMPARE(shutdown(), 0); // nothing to shut down yet
        char arg0[] = "loader";
        char *argv[] = {arg0, nullptr};
        QCOMPARE(init(1, argv), 0);
        QCOMPARE(delayed(), 0);
        QPointer<QWidget> form = widget();
        QVERIFY(form);
        QCOMPARE(QString(form->metaObject()->className()), QString("Form"));
        QCOMPARE(form->parent(), nullptr);
        QCOMPARE(form->size(), QSize(400, 300));
        QVERIFY(form->findChild<QWidget *>("encrypt_pushButton"));

        QCOMPARE(shutdown(), 0);
        QCOMPARE(widget(), nullptr);
        QVERIFY(form); // deleted later, not at once
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form.isNull());
        QCOMPARE(shutdown(), 0); // a second shutdown is harmless
    }

    void logSinkIsTheCorePlugins()
    {
        QLibrary hubstone(kPluginDir + "/Hubstone.so");
        QVERIFY(hubstone.load());
        auto *fromCore = hubstone.resolve(kShowLogSymbol);
        QVERIFY(fromCore);
        // What the plug-in's reference binds to is the core plug-in's function.
        void *handle = dlopen(QFile::encodeName(kPluginDir + "/Vaultine.so").constData(), RTLD_NOW | RTLD_NOLOAD);
        QVERIFY(handle);
        QCOMPARE(reinterpret_cast<void *>(dlsym(handle, kShowLogSymbol)), reinterpret_cast<void *>(fromCore));
        dlclose(handle);

        StderrCapture capture;
        reinterpret_cast<bool (*)(const QString &)>(fromCore)(QString::fromUtf8("日志：一行"));
        QVERIFY(capture.finish().contains("日志：一行"));
    }

    void noticeSinkIsTheCorePlugins()
    {
        QLibrary hubstone(kPluginDir + "/Hubstone.so");
        QVERIFY(hubstone.load());
        auto *fromCore = hubstone.resolve(kShowNoticeSymbol);
        QVERIFY(fromCore);
        void *handle = dlopen(QFile::encodeName(kPluginDir + "/Vaultine.so").constData(), RTLD_NOW | RTLD_NOLOAD);
        QVERIFY(handle);
        QCOMPARE(reinterpret_cast<void *>(dlsym(handle, kShowNoticeSymbol)), reinterpret_cast<void *>(fromCore));
        dlclose(handle);
        // No window of the core plug-in is up: nothing to tell.
        QVERIFY(!reinterpret_cast<bool (*)(const QString &, qint64)>(fromCore)(QStringLiteral("完成"), 3600000));
    }
};

QTEST_MAIN(TestVaultinePlugin)
#include "tst_vaultineplugin.moc"
