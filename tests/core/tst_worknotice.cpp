// The notice at the end of long work: told only when the work was long and
// no window of the program is active, with the work's summary line; and the
// freedesktop.org notification that carries it, received on a private
// session bus.
#include "DesktopNotice.h"
#include "WorkNotice.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

struct Shown
{
    QString title;
    QString text;
};

class RecordingSink : public NoticeSink
{
public:
    explicit RecordingSink(QList<Shown> *shown)
        : m_shown(shown)
    {
    }
    void show(const QString &title, const QString &text) override { m_shown->append(Shown{title, text}); }

private:
    QList<Shown> *m_shown;
};

const QString kSummary = QStringLiteral("批量加密完成：加密3个，跳过0个，失败0个");

// Stands in for the desktop's notification server on the private bus.
class NotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<QVariantList> calls;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int expireTimeout)
    {
        calls << QVariantList{appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout};
        return uint(calls.size());
    }
};

} // namespace

class TestWorkNotice : public QObject
{
    Q_OBJECT

private slots:
    void toldOnlyForLongWorkWhileTheUserLooksElsewhere_data()
    {
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<bool>("windowActive");
        QTest::addColumn<bool>("told");
        QTest::newRow("long, looking elsewhere") << WorkNotice::kLongWorkMs << false << true;
        QTest::newRow("very long, looking elsewhere") << qint64(3600 * 1000) << false << true;
        QTest::newRow("long, watching") << WorkNotice::kLongWorkMs << true << false;
        QTest::newRow("short, looking elsewhere") << WorkNotice::kLongWorkMs - 1 << false << false;
        QTest::newRow("short, watching") << qint64(0) << true << false;
    }

    void toldOnlyForLongWorkWhileTheUserLooksElsewhere()
    {
        QFETCH(qint64, elapsedMs);
        QFETCH(bool, windowActive);
        QFETCH(bool, told);
        QList<Shown> shown;
        int asked = 0;
        WorkNotice notice(
            [&] {
                ++asked;
                return windowActive;
            },
            std::make_unique<RecordingSink>(&shown));
        QCOMPARE(notice.workEnded(kSummary, elapsedMs), told);
        QCOMPARE(shown.size(), told ? 1 : 0);
        if (told) {
            QCOMPARE(shown.first().title, QStringLiteral("Keystrel"));
            QCOMPARE(shown.first().text, kSummary);
        }
        // The window is looked at when the work ends, not before: only long
        // work asks.
        QCOMPARE(asked, elapsedMs >= WorkNotice::kLongWorkMs ? 1 : 0);
    }

    // Each end of work is told once; the activity is asked anew each time.
    void activityIsAskedAtEachEnd()
    {
        QList<Shown> shown;
        bool active = true;
        WorkNotice notice([&] { return active; }, std::make_unique<RecordingSink>(&shown));
        QVERIFY(!notice.workEnded(kSummary, WorkNotice::kLongWorkMs));
        active = false;
        QVERIFY(notice.workEnded(kSummary, WorkNotice::kLongWorkMs));
        QVERIFY(notice.workEnded(QStringLiteral("解密文件已输出到:/tmp/x"), WorkNotice::kLongWorkMs));
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.at(1).text, QStringLiteral("解密文件已输出到:/tmp/x"));
    }

    void nothingToTellOrNowhereToTellIt()
    {
        QList<Shown> shown;
        WorkNotice withSink([] { return false; }, std::make_unique<RecordingSink>(&shown));
        QVERIFY(!withSink.workEnded(QString(), WorkNotice::kLongWorkMs));
        QVERIFY(shown.isEmpty());
        WorkNotice withoutSink([] { return false; }, nullptr);
        QVERIFY(!withoutSink.workEnded(kSummary, WorkNotice::kLongWorkMs));
    }

    // The system's sink on a session bus of the test's own: one Notify call
    // with the program's name, icon, desktop entry and the summary.
    void freedesktopNotificationOnTheSessionBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is missing (scripts/install-deps.sh test installs it)");
        QProcess bus;
        bus.start(daemon, {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        QVERIFY(bus.waitForStarted());
        while (!bus.canReadLine() && bus.waitForReadyRead(60000)) // only against a hang
            ;
        const QByteArray address = bus.readLine().trimmed();
        QVERIFY2(!address.isEmpty(), bus.readAllStandardError().constData());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        {
            QDBusConnection connection = QDBusConnection::sessionBus();
            QVERIFY(connection.isConnected());
            NotificationServer server;
            QVERIFY(connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                              QDBusConnection::ExportAllSlots));
            QVERIFY(connection.registerService(QStringLiteral("org.freedesktop.Notifications")));

            const std::unique_ptr<NoticeSink> sink = desktopnotice::systemSink();
            QVERIFY(sink);
            sink->show(QStringLiteral("Keystrel"), kSummary);
            QTRY_COMPARE_WITH_TIMEOUT(server.calls.size(), 1, 60000);
            const QVariantList call = server.calls.first();
            QCOMPARE(call.at(0).toString(), QStringLiteral("Keystrel"));
            QCOMPARE(call.at(1).toUInt(), 0u);
            QCOMPARE(call.at(2).toString(), QStringLiteral("keystrel"));
            QCOMPARE(call.at(3).toString(), QStringLiteral("Keystrel"));
            QCOMPARE(call.at(4).toString(), kSummary);
            QCOMPARE(call.at(5).toStringList(), QStringList());
            QCOMPARE(call.at(6).toMap().value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("keystrel"));
            QCOMPARE(call.at(7).toInt(), -1);
            connection.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
            connection.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("qt_default_session_bus"));
        bus.kill();
        bus.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestWorkNotice)
#include "tst_worknotice.moc"
