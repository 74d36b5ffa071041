// The launcher's pieces in this process: the style sheet text, where the
// core plug-in is looked for, and which libraries pass as the core plug-in.
#include "CorePlugin.h"
#include "LauncherRun.h"
#include "LookAndFeel.h"
#include "StyleSheetCheck.h"

#include <QLibrary>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

class TestLauncherParts : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Calls a test core plug-in recorded since the last call.
    QStringList takeCoreCalls()
    {
        QFile file(m_dir.filePath("core.log"));
        QStringList lines;
        if (file.open(QIODevice::ReadOnly))
            lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        file.remove();
        return lines;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("KEYSTREL_TEST_CORE_LOG", QFile::encodeName(m_dir.filePath("core.log")));
        qunsetenv("KEYSTREL_TEST_CORE_EXIT");
    }

    void styleSheetText() { verifyStyleSheet(lookandfeel::styleSheet()); }

    void corePluginBesideExecutable()
    {
        QCOMPARE(coreplugin::fileName(), QString("Hubstone.so"));
        QCOMPARE(coreplugin::path(), QCoreApplication::applicationDirPath() + "/Plugin/Hubstone.so");
        QVERIFY(QLibrary::isLibrary(coreplugin::path()));
    }

    void coreNameIsExact_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Core") << QByteArray("Core") << true;
        QTest::newRow("core") << QByteArray("core") << false;
        QTest::newRow("CORE") << QByteArray("CORE") << false;
        QTest::newRow("trailing space") << QByteArray("Core ") << false;
        QTest::newRow("longer") << QByteArray("Cores") << false;
        QTest::newRow("cut short") << QByteArray("Cor") << false;
        QTest::newRow("empty") << QByteArray("") << false;
    }

    void coreNameIsExact()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, accepted);
        // A heap copy of exactly its own length: a comparison that read five
        // bytes of a shorter name would run past it (and trip AddressSanitizer).
        std::unique_ptr<char[]> copy(new char[size_t(name.size()) + 1]);
        std::memcpy(copy.get(), name.constData(), size_t(name.size()) + 1);
        QCOMPARE(coreplugin::isCoreName(copy.get()), accepted);
    }

    void nullNameIsRefused() { QVERIFY(!coreplugin::isCoreName(nullptr)); }

    void loadChecksTheLibrary_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("calls");
        const QStringList none;
        const QStringList askedName{"pluginName"};
        QTest::newRow("good") << testCorePath("keystrel_test_core_good") << true << askedName;
        QTest::newRow("lower case name") << testCorePath("keystrel_test_core_lower") << false << askedName;
        QTest::newRow("trailing space") << testCorePath("keystrel_test_core_trailing_space") << false << askedName;
        QTest::newRow("cut short") << testCorePath("keystrel_test_core_short") << false << askedName;
        QTest::newRow("null name") << testCorePath("keystrel_test_core_null") << false << askedName;
        QTest::newRow("no initializePlugin") << testCorePath("keystrel_test_core_no_initialize") << false << none;
        QTest::newRow("no delayedInitialize") << testCorePath("keystrel_test_core_no_delayed") << false << none;
        QTest::newRow("no shutdownPlugin") << testCorePath("keystrel_test_core_no_shutdown") << false << none;
        QTest::newRow("no pluginName") << testCorePath("keystrel_test_core_no_name") << false << none;
        QTest::newRow("dependency missing") << testCorePath("keystrel_test_core_needs_dependency") << false << none;
        QTest::newRow("missing file") << m_dir.filePath("Plugin/Hubstone.so") << false << none;
    }

    void loadChecksTheLibrary()
    {
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        QFETCH(QStringList, calls);

        QLibrary library;
        coreplugin::Entries entries;
        QCOMPARE(coreplugin::load(library, path, entries), accepted);
        QCOMPARE(takeCoreCalls(), calls);
        QCOMPARE(entries.initialize != nullptr, accepted);
        QCOMPARE(entries.delayedInitialize != nullptr, accepted);
        QCOMPARE(entries.shutdown != nullptr, accepted);
        if (!accepted)
            return;

        // The entries are the library's own, each bound to its name.
        char program[] = "keystrel";
        char *argv[] = {program, nullptr};
        entries.initialize(1, argv);
        entries.delayedInitialize();
        entries.shutdown();
        QCOMPARE(takeCoreCalls(), (QStringList{"initializePlugin 1", "argv keystrel", "argv terminated",
                                               "delayedInitialize", "shutdownPlugin with application"}));
    }

    void loadRefusesNonLibraries()
    {
        const QString garbage = m_dir.filePath("Hubstone.so");
        QFile file(garbage);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a shared library\n");
        file.close();

        QLibrary library;
        coreplugin::Entries entries;
        QVERIFY(!coreplugin::load(library, garbage, entries));
        QVERIFY(!coreplugin::load(library, m_dir.path(), entries)); // a folder
        QVERIFY(!entries.initialize);
    }
};

QTEST_MAIN(TestLauncherParts)
#include "tst_launcherparts.moc"
