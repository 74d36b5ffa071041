// A DLL's headers judged before the loader sees the file: a truncated,
// foreign or malformed one is refused, a whole one for this machine passes.
#include "LibraryFileCheck.h"
#include "PeImage.h"

#include <QByteArray>
#include <QtEndian>
#include <QtTest>

#if defined(Q_OS_WIN)
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <windows.h>
#endif

namespace {

constexpr int kPeOffset = 0x80;
constexpr int kCoff = kPeOffset + 4;
constexpr int kOptional = kCoff + 20;
constexpr int kOptionalSize = 240; // PE32+ with its 16 data directories
constexpr int kSections = kOptional + kOptionalSize;
constexpr int kHeadersSize = 0x200;
constexpr int kRawSize = 0x200;

void put16(QByteArray &bytes, int at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void put32(QByteArray &bytes, int at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

// The smallest DLL the check should take: headers and two sections of raw
// data, ending exactly where the last section does.
QByteArray minimalDll(quint16 machine = peimage::kMachineAmd64)
{
    QByteArray bytes(kHeadersSize + 2 * kRawSize, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    put32(bytes, 0x3C, kPeOffset);
    bytes.replace(kPeOffset, 4, QByteArray("PE\0\0", 4));
    put16(bytes, kCoff, machine);
    put16(bytes, kCoff + 2, 2);
    put16(bytes, kCoff + 16, kOptionalSize);
    put16(bytes, kCoff + 18, 0x2022); // DLL, large-address aware, executable
    put16(bytes, kOptional, machine == peimage::kMachineI386 ? 0x10B : 0x20B);
    put32(bytes, kOptional + 60, kHeadersSize);
    for (int i = 0; i < 2; ++i) {
        const int section = kSections + 40 * i;
        bytes.replace(section, 5, i == 0 ? ".text" : ".data");
        put32(bytes, section + 16, kRawSize);
        put32(bytes, section + 20, kHeadersSize + i * kRawSize);
    }
    return bytes;
}

bool accepted(const QByteArray &bytes, quint16 machine = peimage::kMachineAmd64)
{
    const auto read = [&bytes](quint64 offset, void *buffer, quint32 length) {
        if (offset > quint64(bytes.size()) || length > quint64(bytes.size()) - offset)
            return false;
        memcpy(buffer, bytes.constData() + offset, length);
        return true;
    };
    return peimage::isLoadableDll(read, quint64(bytes.size()), machine);
}

} // namespace

class TestPeImage : public QObject
{
    Q_OBJECT

private slots:
    void wholeDllPasses()
    {
        QVERIFY(accepted(minimalDll()));
        QVERIFY(accepted(minimalDll(peimage::kMachineI386), peimage::kMachineI386));
    }

    void everyTruncationIsRefused()
    {
        const QByteArray whole = minimalDll();
        for (int size = 0; size < whole.size(); ++size)
            QVERIFY2(!accepted(whole.left(size)), qPrintable(QString::number(size)));
    }

    void foreignOrMalformedHeadersAreRefused_data()
    {
        QTest::addColumn<int>("at");
        QTest::addColumn<quint32>("value");
        QTest::addColumn<int>("width");
        QTest::newRow("no MZ") << 0 << quint32('X') << 1;
        QTest::newRow("no PE signature") << kPeOffset << quint32('N') << 1;
        QTest::newRow("PE offset past the end") << 0x3C << quint32(0x10000) << 4;
        QTest::newRow("PE offset too close to the end") << 0x3C << quint32(kHeadersSize + 2 * kRawSize - 40) << 4;
        QTest::newRow("32-bit x86") << kCoff << quint32(peimage::kMachineI386) << 2;
        QTest::newRow("arm64") << kCoff << quint32(peimage::kMachineArm64) << 2;
        QTest::newRow("a program, not a DLL") << kCoff + 18 << quint32(0x0022) << 2;
        QTest::newRow("not executable") << kCoff + 18 << quint32(0x2000) << 2;
        QTest::newRow("no sections") << kCoff + 2 << quint32(0) << 2;
        QTest::newRow("section table past the end") << kCoff + 2 << quint32(0xFFFF) << 2;
        QTest::newRow("optional header too small") << kCoff + 16 << quint32(16) << 2;
        QTest::newRow("PE32 header on x86-64") << kOptional << quint32(0x10B) << 2;
        QTest::newRow("headers larger than the file") << kOptional + 60 << quint32(0x100000) << 4;
        QTest::newRow("raw data past the end") << kSections + 40 + 16 << quint32(kRawSize + 1) << 4;
        QTest::newRow("raw data starts past the end") << kSections + 20 << quint32(0x7FFFFFFF) << 4;
        QTest::newRow("raw size wraps around") << kSections + 16 << quint32(0xFFFFFFFF) << 4;
    }

    void foreignOrMalformedHeadersAreRefused()
    {
        QFETCH(int, at);
        QFETCH(quint32, value);
        QFETCH(int, width);
        QByteArray bytes = minimalDll();
        if (width == 1)
            bytes[at] = char(value);
        else if (width == 2)
            put16(bytes, at, quint16(value));
        else
            put32(bytes, at, value);
        QVERIFY(!accepted(bytes));
    }

    void emptySectionNeedsNoRawData()
    {
        QByteArray bytes = minimalDll();
        put32(bytes, kSections + 40 + 16, 0); // .bss-like: no bytes in the file
        put32(bytes, kSections + 40 + 20, 0x7FFFFFFF);
        QVERIFY(accepted(bytes));
    }

#if defined(Q_OS_WIN)
    // The same look at files, through the handle Windows will load from.
    void realFilesOnWindows()
    {
        const QString real = QStringLiteral(KEYSTREL_REAL_DLL);
        QVERIFY(libraryfilecheck::looksLoadable(real));

        QFile source(real);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString truncated = dir.filePath(QStringLiteral("Truncated.dll"));
        QFile cut(truncated);
        QVERIFY(cut.open(QIODevice::WriteOnly));
        QCOMPARE(cut.write(bytes.left(bytes.size() / 2)), qint64(bytes.size() / 2));
        cut.close();
        QVERIFY(!libraryfilecheck::looksLoadable(truncated));
        QVERIFY(!libraryfilecheck::looksLoadable(dir.path()));
        QVERIFY(!libraryfilecheck::looksLoadable(dir.filePath(QStringLiteral("missing.dll"))));
    }

    void pipeIsRefusedWithoutWaiting()
    {
        const QString name = QStringLiteral("\\\\.\\pipe\\keystrel-peimage-%1").arg(::GetCurrentProcessId());
        const HANDLE pipe = ::CreateNamedPipeW(reinterpret_cast<const wchar_t *>(name.utf16()), PIPE_ACCESS_DUPLEX,
                                               PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
        QVERIFY(pipe != INVALID_HANDLE_VALUE);
        QVERIFY(!libraryfilecheck::looksLoadable(name));
        ::CloseHandle(pipe);
    }
#endif
};

QTEST_APPLESS_MAIN(TestPeImage)
#include "tst_peimage.moc"
