// The bytes of a file handed to isFileEncrypted, decryptFile and
// encryptFile: results and log lines follow the header and length rules, a
// refused file keeps its bytes, an accepted one gets exactly the expected
// bytes, nothing is left beside it, and encryption round-trips.
#include "FuzzLog.h"
#include "Reference.h"
#include "transform/FileCrypt.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace vaultine;

namespace {

// tmpfs when there is one: every replace ends in a data sync.
QTemporaryDir &workDir()
{
    static QTemporaryDir dir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/keystrel-fuzz-XXXXXX")
                                                       : QDir::tempPath() + "/keystrel-fuzz-XXXXXX");
    return dir;
}

QString pathOf(const char *name)
{
    return workDir().filePath(QString::fromLatin1(name));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

QStringList leftInDir()
{
    return QDir(workDir().path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool decryptable(const QByteArray &file)
{
    return reference::isMarked(file) && (file.size() - 17) % 16 == 0;
}

QByteArray decryptedContent(const QByteArray &file, bool active)
{
    return reference::unpadded(reference::decrypted(file.mid(17), active));
}

void checkDecrypt(const QByteArray &input, bool active)
{
    const QString in = pathOf("in.bin");
    const QString out = pathOf("out.bin");
    writeFile(in, input);
    FUZZ_CHECK(filecrypt::isFileEncrypted(in) == reference::isMarked(input));

    const int result = filecrypt::decryptFile(in, out, active, fuzzlog::record);
    QStringList lines = fuzzlog::take();
    FUZZ_CHECK(lines.value(0) == QStringLiteral("解密：文件大小：") + QString::number(input.size()));
    FUZZ_CHECK(result == (decryptable(input) ? 0 : -1));
    if (result == 0) {
        FUZZ_CHECK(lines.size() == 1);
        FUZZ_CHECK(readFile(out) == decryptedContent(input, active));
        FUZZ_CHECK(QFile::remove(out));
    } else {
        FUZZ_CHECK(lines.size() == 2);
        FUZZ_CHECK(!QFile::exists(out));
    }

    // In place: refused leaves the bytes, accepted replaces them.
    FUZZ_CHECK(filecrypt::decryptFile(in, in, active, fuzzlog::record) == result);
    fuzzlog::take();
    FUZZ_CHECK(readFile(in) == (result == 0 ? decryptedContent(input, active) : input));
    FUZZ_CHECK(leftInDir() == QStringList{"in.bin"});
}

void checkEncryptRoundTrip(const QByteArray &input)
{
    const QString path = pathOf("in.bin");
    writeFile(path, input);
    const int result = filecrypt::encryptFile(path, path, true, fuzzlog::record);
    const QStringList lines = fuzzlog::take();
    FUZZ_CHECK(lines.value(0) == QStringLiteral("加密：文件大小：") + QString::number(input.size()));
    FUZZ_CHECK(leftInDir() == QStringList{"in.bin"});
    if (reference::isMarked(input)) {
        FUZZ_CHECK(result == -1);
        FUZZ_CHECK(readFile(path) == input);
        return;
    }
    FUZZ_CHECK(result == 0);
    const QByteArray padded = reference::padded(input);
    const QByteArray encrypted = readFile(path);
    FUZZ_CHECK(encrypted == reference::header() + reference::encrypted(padded));
    // The warning line appears exactly when trailing spaces will be lost.
    const bool lossy = reference::unpadded(padded) != input;
    FUZZ_CHECK(lines.size() == (lossy ? 2 : 1));

    FUZZ_CHECK(filecrypt::isFileEncrypted(path));
    FUZZ_CHECK(filecrypt::decryptFile(path, path, true, fuzzlog::record) == 0);
    fuzzlog::take();
    FUZZ_CHECK(readFile(path) == reference::unpadded(padded));
    if (!lossy)
        FUZZ_CHECK(readFile(path) == input);
    FUZZ_CHECK(leftInDir() == QStringList{"in.bin"});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FUZZ_CHECK(workDir().isValid());
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    checkDecrypt(input, true);
    checkDecrypt(input, false);
    checkEncryptRoundTrip(input);
    return 0;
}
