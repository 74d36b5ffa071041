// Hand-overs that come together (Explorer starts the program once per
// selected file) reach the window as one drop. The clock is the test's: the
// timer only asks it, so no verdict depends on how fast this machine is.
#include "HandOverGathering.h"

#include <QtTest>

namespace {

struct Delivered
{
    QStringList paths;
    bool raise;
    PathDirection direction;
};

} // namespace

class TestHandOverGathering : public QObject
{
    Q_OBJECT

    qint64 m_now = 0;
    QList<Delivered> m_delivered;

    HandOverGathering::Delivery recorder()
    {
        return [this](const QStringList &paths, Raise raise, PathDirection direction) {
            m_delivered << Delivered{paths, raise == Raise::ToFront, direction};
        };
    }
    HandOverGathering::Clock clock()
    {
        return [this] { return m_now; };
    }

private slots:
    void init()
    {
        m_now = 1000;
        m_delivered.clear();
    }

    void startsThatComeTogetherBecomeOneDrop()
    {
        HandOverGathering gathering(700, 5000, recorder(), clock());
        gathering.add({"C:/a.txt"}, Raise::Stays, PathDirection::Encrypt);
        m_now += 300;
        gathering.add({"C:/b.txt"}, Raise::ToFront, PathDirection::Encrypt);
        m_now += 600; // 900 after the first, 600 after the last: still quiet
        gathering.deliverIfDue();
        gathering.add({"C:/a.txt", "C:/c"}, Raise::ToFront, PathDirection::Encrypt);
        m_now += 699;
        gathering.deliverIfDue();
        QVERIFY(m_delivered.isEmpty());
        QVERIFY(gathering.isGathering());

        m_now += 1;
        gathering.deliverIfDue();
        QCOMPARE(m_delivered.size(), 1);
        QCOMPARE(m_delivered[0].paths, QStringList({"C:/a.txt", "C:/b.txt", "C:/c"}));
        QVERIFY(m_delivered[0].raise);
        QCOMPARE(m_delivered[0].direction, PathDirection::Encrypt);
        QVERIFY(!gathering.isGathering());

        // The next command's starts make a drop of their own.
        gathering.add({"C:/d.txt"}, Raise::ToFront, PathDirection::Encrypt);
        m_now += 700;
        gathering.deliverIfDue();
        QCOMPARE(m_delivered.size(), 2);
        QCOMPARE(m_delivered[1].paths, QStringList{"C:/d.txt"});
    }

    // A steady stream is not waited out for ever, and another direction is
    // never mixed in.
    void longestWaitAndDirectionEndAGathering()
    {
        HandOverGathering gathering(700, 5000, recorder(), clock());
        for (int i = 0; i < 10; ++i) {
            gathering.add({QStringLiteral("C:/%1").arg(i)}, Raise::ToFront, PathDirection::Decrypt);
            m_now += 500;
            gathering.deliverIfDue();
        }
        QCOMPARE(m_delivered.size(), 1);
        QCOMPARE(m_delivered[0].paths.size(), 10);

        gathering.add({"C:/x"}, Raise::ToFront, PathDirection::Decrypt);
        gathering.add({"C:/y"}, Raise::ToFront, PathDirection::AsDropped);
        QCOMPARE(m_delivered.size(), 2);
        QCOMPARE(m_delivered[1].paths, QStringList{"C:/x"});
        QCOMPARE(m_delivered[1].direction, PathDirection::Decrypt);
        QCOMPARE(gathering.takePending(), QStringList{"C:/y"});
        m_now += 10000;
        gathering.deliverIfDue();
        QCOMPARE(m_delivered.size(), 2);
    }

    // Without a quiet interval (Linux) each hand-over goes through as it came.
    void noQuietIntervalDeliversAtOnce()
    {
        HandOverGathering gathering(0, 0, recorder(), clock());
        gathering.add({"/a", "/a"}, Raise::Stays, PathDirection::AsDropped);
        gathering.add({}, Raise::ToFront, PathDirection::AsDropped);
        QCOMPARE(m_delivered.size(), 2);
        QCOMPARE(m_delivered[0].paths, QStringList({"/a", "/a"}));
        QVERIFY(m_delivered[1].raise);
        QVERIFY(!gathering.isGathering());
    }

    // The real timer asks the clock: once the clock says it is due, the event
    // loop delivers.
    void timerDeliversWhenTheClockSaysSo()
    {
        HandOverGathering gathering(700, 5000, recorder(), clock());
        gathering.add({"C:/a"}, Raise::ToFront, PathDirection::AsDropped);
        m_now += 700;
        QTRY_COMPARE_WITH_TIMEOUT(m_delivered.size(), 1, 60000);
    }
};

QTEST_GUILESS_MAIN(TestHandOverGathering)
#include "tst_handovergathering.moc"
