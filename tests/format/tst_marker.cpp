// Padding, padding removal and the file header test.
#include "format/Marker.h"

#include <QByteArray>
#include <QtTest>

using namespace vaultine;

namespace {
std::size_t kept(const QByteArray &data)
{
    return marker::unpaddedLength(reinterpret_cast<const std::uint8_t *>(data.constData()), std::size_t(data.size()));
}
QByteArray padded(QByteArray plain)
{
    return plain.append(QByteArray(int(marker::paddingFor(std::uint64_t(plain.size()))), ' '));
}
} // namespace

class TestMarker : public QObject
{
    Q_OBJECT

private slots:
    void paddingLengths()
    {
        const std::uint64_t lengths[] = {0, 1, 15, 16, 17, 32};
        const std::uint64_t padding[] = {0, 15, 1, 0, 15, 0};
        const std::uint64_t total[] = {0, 16, 16, 16, 32, 32};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(marker::paddingFor(lengths[i]), padding[i]);
            QCOMPARE(marker::paddedLength(lengths[i]), total[i]);
        }
        // 64-bit sizes do not wrap.
        QCOMPARE(marker::paddedLength(0x80000001ull), 0x80000010ull);
    }

    void removalTakesAtMostFifteenSpaces()
    {
        QCOMPARE(kept(padded("abc  ")), std::size_t(3)); // own spaces go too
        QCOMPARE(kept(padded(" ")), std::size_t(1));     // first byte survives
        QCOMPARE(kept(padded(QByteArray(16, ' '))), std::size_t(1));
        QCOMPARE(kept(padded(QByteArray(31, ' '))), std::size_t(17));
        QCOMPARE(kept(padded("abcdefghijklmnop")), std::size_t(16));
        QByteArray withZero("ab\0", 3);
        QCOMPARE(kept(padded(withZero)), std::size_t(3)); // zero byte stops the scan
        QCOMPARE(kept(QByteArray()), std::size_t(0));
    }

    void removalNeverReadsBeforeTheData()
    {
        // Fewer than 16 bytes of spaces: the scan stops at the start.
        QByteArray spaces(5, ' ');
        QCOMPARE(kept(spaces), std::size_t(0));
    }

    void lossDetectionMatchesRemoval()
    {
        // For every short plaintext shape, the warning fires exactly when the
        // round trip through padding and removal changes the bytes.
        for (int length = 1; length <= 48; ++length) {
            for (int trailing = 0; trailing <= length; ++trailing) {
                QByteArray plain(length - trailing, 'x');
                plain.append(QByteArray(trailing, ' '));
                const QByteArray p = padded(plain);
                const bool lost = kept(p) != std::size_t(plain.size());
                QCOMPARE(marker::losesTrailingSpaces(std::uint64_t(length), std::uint8_t(plain.back())), lost);
            }
        }
    }

    void headerNeedsAllSeventeenBytes()
    {
        QByteArray header("has been encrypt", 16);
        header.append('\0');
        auto test = [](const QByteArray &b) {
            return marker::startsWithHeader(reinterpret_cast<const std::uint8_t *>(b.constData()),
                                            std::size_t(b.size()));
        };
        QVERIFY(test(header));
        QVERIFY(test(header + "more"));
        QVERIFY(!test(header.left(16)));
        QVERIFY(!test(QByteArray("has been encrypt!")));
        QVERIFY(!test(QByteArray("Has been encrypt") + '\0'));
    }
};

QTEST_APPLESS_MAIN(TestMarker)
#include "tst_marker.moc"
