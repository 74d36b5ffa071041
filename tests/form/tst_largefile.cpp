// Files past 2 GiB: no 32-bit count overflows and memory stays bounded.
// Runs only when asked (KEYSTREL_LARGE_FILE_TEST=1): it writes over 4 GiB.
#include "LogRecorder.h"
#include "form/Form.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

using namespace vaultine;

namespace {

constexpr qint64 kSize = (qint64(2) << 30) + 4096 + 5; // past 2 GiB, ragged end

// Deterministic, incompressible-looking content, written in pieces.
QByteArray piece(qint64 offset, int length)
{
    QByteArray data(length, '\0');
    quint64 x = quint64(offset) * 0x9E3779B97F4A7C15ull + 1;
    for (int i = 0; i < length; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        data[i] = char(x);
    }
    return data;
}

QByteArray sha256Of(const QString &path)
{
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return f.open(QIODevice::ReadOnly) && hash.addData(&f) ? hash.result() : QByteArray();
}

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class TestLargeFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTripPastTwoGiB()
    {
        if (qgetenv("KEYSTREL_LARGE_FILE_TEST") != "1")
            QSKIP("set KEYSTREL_LARGE_FILE_TEST=1 to run (needs about 5 GiB of disk)");
        QTemporaryDir dir(qEnvironmentVariable("KEYSTREL_LARGE_FILE_DIR", QDir::tempPath()) + "/large-XXXXXX");
        const QString file = dir.filePath("large.bin");
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            for (qint64 offset = 0; offset < kSize; offset += 1 << 20) {
                const int length = int(qMin<qint64>(1 << 20, kSize - offset));
                QByteArray data = piece(offset, length);
                if (offset + length == kSize)
                    data[length - 1] = 'e'; // no trailing space
                QCOMPARE(out.write(data), qint64(length));
            }
        }
        const QByteArray original = sha256Of(file);

        Form form;
        logrecorder::clear();
        QCOMPARE(form.encryptFile(file, file), 0);
        QCOMPARE(logrecorder::takeLines().first(), QString("加密：文件大小：%1").arg(kSize));
        QCOMPARE(QFileInfo(file).size(), 17 + (kSize + 15) / 16 * 16);
        QVERIFY(form.isFileEncrypted(file));

        QCOMPARE(form.decryptFile(file, file), 0);
        QCOMPARE(QFileInfo(file).size(), kSize);
        QCOMPARE(sha256Of(file), original);
        qInfo("peak RSS %ld KiB", peakRssKiB());
        QVERIFY(peakRssKiB() < 256 * 1024);
    }
};

QTEST_MAIN(TestLargeFile)
#include "tst_largefile.moc"
