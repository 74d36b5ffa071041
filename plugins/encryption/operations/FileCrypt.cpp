#include "FileCrypt.h"

#include "LogLines.h"
#include "RegularFile.h"
#include "ReplacementFile.h"
#include "PluginApi.h"
#include "cipher/CbcStream.h"
#include "cipher/Marker.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <memory>

#include <sys/stat.h>

namespace filecrypt {
namespace {

// Whole blocks, large enough that the cipher dominates, small enough to stay
// a bounded footprint for files of any size.
constexpr qint64 kChunkSize = qint64(4) << 20;
static_assert(kChunkSize % 16 == 0, "chunks must be whole blocks");

using Buffer = std::unique_ptr<char[]>;

void log(const QString &line)
{
    ShowLogFunc(line);
}

QString withReason(const QString &literal, const QString &path, const QString &reason)
{
    return literal + path + loglines::kReasonSeparator + reason;
}

std::uint8_t *bytes(char *data)
{
    return reinterpret_cast<std::uint8_t *>(data);
}

// Reads until `want` bytes arrived or the file ended; -1 on a read error.
qint64 readFully(QFile &file, char *buffer, qint64 want)
{
    qint64 total = 0;
    while (total < want) {
        const qint64 got = file.read(buffer + total, want - total);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

// The output is replaced through a temporary file beside it. A file the user
// made read-only is refused like a plain write would refuse it, rather than
// silently replaced; so is anything but a regular file (a device or pipe must
// never be swapped for a file).
bool openOutput(ReplacementFile &output, const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        if (!S_ISREG(info.st_mode) || !QFileInfo(path).isWritable())
            return false;
    }
    return output.open();
}

bool writeAll(ReplacementFile &output, const char *data, qint64 length)
{
    return output.write(data, length);
}

// Trailing spaces beyond the padding are taken for padding on decryption.
bool lastByteLosesSpaces(QFile &input, qint64 size, const char *head, qint64 headLength)
{
    if (size <= 0)
        return false;
    char last = 0;
    if (size <= headLength) {
        last = head[size - 1];
    } else {
        const qint64 resume = input.pos();
        if (!input.seek(size - 1) || input.read(&last, 1) != 1 || !input.seek(resume))
            return false;
    }
    return marker::losesTrailingSpaces(std::uint64_t(size), std::uint8_t(last));
}

// What tells whether another program changed or replaced the file while we
// worked on it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};

    bool operator==(const FileIdentity &o) const
    {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec
            && modified.tv_nsec == o.modified.tv_nsec;
    }
};

FileIdentity identityOf(const struct stat &info)
{
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

FileIdentity identityOfOpenFile(const QFile &file)
{
    struct stat info;
    return ::fstat(file.handle(), &info) == 0 ? identityOf(info) : FileIdentity{};
}

// The input is still what we read: same file, same size, same time stamp.
bool unchangedSince(const QString &path, const FileIdentity &read, qint64 bytesRead)
{
    struct stat info;
    return bytesRead == qint64(read.size) && ::stat(QFile::encodeName(path).constData(), &info) == 0
        && identityOf(info) == read;
}

// Flushes the new content to disk and puts it in place, unless the input
// changed meanwhile. Logs and returns -1 on any failure.
int finish(ReplacementFile &output, bool written, const QString &inputPath, const FileIdentity &identity,
           qint64 bytesRead, const QString &outputPath, const QString &changedLiteral, const QString &failedLiteral)
{
    if (written && output.sync()) {
        if (!unchangedSince(inputPath, identity, bytesRead)) {
            output.cancel();
            log(changedLiteral + inputPath);
            return -1;
        }
        if (output.commit())
            return 0;
    }
    const QString reason = output.errorString();
    output.cancel();
    log(withReason(failedLiteral, outputPath, reason));
    return -1;
}

} // namespace

int encryptFile(const QString &inputPath, const QString &outputPath, bool cipherActive)
{
    QFile input;
    if (!openRegularFileForReading(input, inputPath)) {
        log(loglines::kEncryptCannotOpenInput + inputPath);
        return -1;
    }
    const FileIdentity identity = identityOfOpenFile(input);
    const qint64 size = input.size();
    log(loglines::kEncryptSize + QString::number(size));

    Buffer buffer(new char[kChunkSize]);
    qint64 got = readFully(input, buffer.get(), kChunkSize);
    qint64 bytesRead = qMax<qint64>(got, 0);
    if (got < 0) {
        log(withReason(loglines::kEncryptReadFailed, inputPath, input.errorString()));
        return -1;
    }
    if (marker::startsWithHeader(bytes(buffer.get()), std::size_t(got))) {
        log(loglines::kEncryptAlreadyEncrypted);
        return -1;
    }
    if (lastByteLosesSpaces(input, size, buffer.get(), got))
        log(loglines::kEncryptTrailingSpaces);

    ReplacementFile output(outputPath);
    if (!openOutput(output, outputPath)) {
        log(loglines::kEncryptCannotOpenOutput + outputPath);
        return -1;
    }
    bool written = writeAll(output, reinterpret_cast<const char *>(marker::kFileHeader), marker::kHeaderSize);

    CbcStream cbc(cipherActive);
    while (written) {
        if (got < kChunkSize) {
            // Last piece: pad to whole blocks (the buffer has room, chunks
            // being whole blocks themselves).
            const qint64 padding = qint64(marker::paddingFor(std::uint64_t(got)));
            std::memset(buffer.get() + got, marker::kPaddingByte, std::size_t(padding));
            cbc.encrypt(bytes(buffer.get()), std::size_t(got + padding));
            written = writeAll(output, buffer.get(), got + padding);
            break;
        }
        cbc.encrypt(bytes(buffer.get()), std::size_t(got));
        written = writeAll(output, buffer.get(), got);
        got = readFully(input, buffer.get(), kChunkSize);
        if (got < 0) {
            output.cancel();
            log(withReason(loglines::kEncryptReadFailed, inputPath, input.errorString()));
            return -1;
        }
        bytesRead += got;
    }
    input.close();
    return finish(output, written, inputPath, identity, bytesRead, outputPath, loglines::kEncryptChangedMeanwhile,
                  loglines::kEncryptWriteFailed);
}

int decryptFile(const QString &inputPath, const QString &outputPath, bool cipherActive)
{
    QFile input;
    if (!openRegularFileForReading(input, inputPath)) {
        log(loglines::kDecryptCannotOpenInput + inputPath);
        return -1;
    }
    const FileIdentity identity = identityOfOpenFile(input);
    const qint64 size = input.size();
    log(loglines::kDecryptSize + QString::number(size));

    char header[marker::kHeaderSize];
    const qint64 headerLength = readFully(input, header, qint64(marker::kHeaderSize));
    if (headerLength < 0) {
        log(withReason(loglines::kDecryptReadFailed, inputPath, input.errorString()));
        return -1;
    }
    if (!marker::startsWithHeader(bytes(header), std::size_t(headerLength))) {
        log(loglines::kDecryptNotEncrypted);
        return -1;
    }
    if ((size - qint64(marker::kHeaderSize)) % 16 != 0) {
        log(loglines::kDecryptBadLength);
        return -1;
    }

    ReplacementFile output(outputPath);
    if (!openOutput(output, outputPath)) {
        log(loglines::kDecryptCannotOpenOutput + outputPath);
        return -1;
    }

    // The last block is held back until the end: only it can carry padding.
    Buffer buffer(new char[kChunkSize]);
    char lastBlock[16];
    bool haveLastBlock = false;
    bool written = true;
    qint64 bytesRead = headerLength;
    CbcStream cbc(cipherActive);
    while (written) {
        const qint64 got = readFully(input, buffer.get(), kChunkSize);
        if (got < 0) {
            output.cancel();
            log(withReason(loglines::kDecryptReadFailed, inputPath, input.errorString()));
            return -1;
        }
        bytesRead += got;
        if (got % 16 != 0) {
            // The length was whole blocks when we looked: someone changed it.
            output.cancel();
            log(loglines::kDecryptChangedMeanwhile + inputPath);
            return -1;
        }
        if (got == 0)
            break;
        cbc.decrypt(bytes(buffer.get()), std::size_t(got));
        if (haveLastBlock)
            written = writeAll(output, lastBlock, 16);
        written = written && writeAll(output, buffer.get(), got - 16);
        std::memcpy(lastBlock, buffer.get() + got - 16, 16);
        haveLastBlock = true;
        if (got < kChunkSize)
            break;
    }
    if (written && haveLastBlock)
        written = writeAll(output, lastBlock, qint64(marker::unpaddedLength(bytes(lastBlock), 16)));
    input.close();
    return finish(output, written, inputPath, identity, bytesRead, outputPath, loglines::kDecryptChangedMeanwhile,
                  loglines::kDecryptWriteFailed);
}

bool isFileEncrypted(const QString &path)
{
    QFile file;
    if (!openRegularFileForReading(file, path))
        return false;
    char header[marker::kHeaderSize];
    const qint64 got = readFully(file, header, qint64(marker::kHeaderSize));
    return got > 0 && marker::startsWithHeader(bytes(header), std::size_t(got));
}

} // namespace filecrypt
