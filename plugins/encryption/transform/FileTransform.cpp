#include "FileTransform.h"

#include "cipher/CbcStream.h"
#include "filesystem/Folder.h"
#include "filesystem/InputFile.h"
#include "format/LogLines.h"
#include "format/Marker.h"
#include "format/NativePath.h"
#include "transform/ChunkWriter.h"

#include <cstring>

namespace vaultine {

namespace filecrypt {

using namespace loglines;

namespace {

constexpr qint64 kChunkSize = ChunkWriter::kChunkSize;
static_assert(kChunkSize % 16 == 0, "chunks must be whole blocks");

std::uint8_t *bytes(char *data)
{
    return reinterpret_cast<std::uint8_t *>(data);
}

} // namespace

FileTransform::FileTransform(Direction direction, bool cipherActive, const Control &control, ChunkWriter *writer)
    : m_direction(direction)
    , m_cipherActive(cipherActive)
    , m_control(control)
    , m_ownWriter(writer ? nullptr : std::make_unique<ChunkWriter>())
    , m_writer(writer ? writer : m_ownWriter.get())
{
}

FileTransform::~FileTransform()
{
    m_writer->abandon();
}

// The writer lets go of the replacement before it goes.
void FileTransform::drop()
{
    m_writer->abandon();
    m_replacement.reset();
}

bool FileTransform::written()
{
    return m_writer->finish();
}

Outcome FileTransform::writeWith(InputFile &input, const QString &inputName, const QString &outputName,
                                 const Locator &locate)
{
    drop();
    m_readWhole = false;
    m_shortage = Shortage::None;
    m_control.line(kSize[m_direction] + QString::number(input.size()));
    // A file of several chunks is written on a thread of its own.
    m_writer->begin(input.size() > 2 * kChunkSize ? ChunkWriter::Mode::OnItsThread : ChunkWriter::Mode::Here);
    return m_direction == Direction::Encrypt ? encrypt(input, inputName, outputName, locate)
                                             : decrypt(input, inputName, outputName, locate);
}

Outcome FileTransform::open(const Locator &locate, const QString &outputName)
{
    Target target;
    if (!locate(target)) {
        m_control.line(kCannotOpenOutput[m_direction] + nativePath(outputName));
        return Outcome::Failed;
    }
    // Another name would keep the old content: the user would believe it
    // hidden (or restored) when it is not.
    if (target.exists && target.state.linkCount > 1) {
        m_control.line(kHardLinks[m_direction] + nativePath(outputName));
        return Outcome::Failed;
    }
    m_replacement = std::make_unique<Replacement>(*target.folder, target.name, target.exists ? &target.state : nullptr);
    switch (m_replacement->open()) {
    case Replacement::Opened::Ok:
        return Outcome::Done;
    case Replacement::Opened::OwnerNotKept:
        m_shortage = m_replacement->shortage();
        m_replacement.reset();
        m_control.line(kOwnerNotKept[m_direction] + nativePath(outputName));
        return Outcome::Failed;
    case Replacement::Opened::Failed:
        break;
    }
    m_shortage = m_replacement->shortage();
    m_replacement.reset();
    m_control.line(kCannotOpenOutput[m_direction] + nativePath(outputName));
    return Outcome::Failed;
}

Outcome FileTransform::writeFailed(const QString &outputName)
{
    m_writer->abandon(); // the replacement is no longer written on another thread
    const QString reason = m_replacement ? m_replacement->errorString() : QString();
    m_shortage = m_replacement ? m_replacement->shortage() : Shortage::None;
    m_replacement.reset();
    m_control.line(withReason(kWriteFailed[m_direction], outputName, reason));
    return Outcome::Failed;
}

Outcome FileTransform::readFailed(InputFile &input, const QString &inputName)
{
    drop();
    m_control.line(withReason(kReadFailed[m_direction], inputName, input.errorString()));
    return Outcome::Failed;
}

Outcome FileTransform::cancelled(const QString &inputName)
{
    drop();
    m_control.line(kCancelled[m_direction] + nativePath(inputName));
    return Outcome::Cancelled;
}

Outcome FileTransform::changed(const QString &inputName)
{
    drop();
    m_control.line(kChangedMeanwhile[m_direction] + nativePath(inputName));
    return Outcome::Failed;
}

void FileTransform::warnOfTrailingSpaces(InputFile &input, const char *start, qint64 got)
{
    // Trailing spaces beyond the padding are taken for padding on decryption.
    const qint64 size = input.size();
    char last = 0;
    if (size > 0 && (size <= got ? (last = start[size - 1], true) : input.byteAt(size - 1, &last))
        && marker::losesTrailingSpaces(std::uint64_t(size), std::uint8_t(last)))
        m_control.line(kEncryptTrailingSpaces);
}

Outcome FileTransform::encrypt(InputFile &input, const QString &inputName, const QString &outputName,
                               const Locator &locate)
{
    const qint64 size = input.size();
    // A file of one piece goes out in one write, its header in front.
    const bool onePiece = size < kChunkSize;
    char *const first = m_writer->buffer();
    std::memcpy(first, marker::kFileHeader, marker::kHeaderSize);
    qint64 lead = onePiece ? qint64(marker::kHeaderSize) : 0;
    char *buffer = first + lead;
    // Reading stops at the size seen on opening; a file that grows or
    // shrinks meanwhile is caught before its replacement is put in place.
    auto nextPiece = [size](qint64 done) { return qMin(kChunkSize, qMax<qint64>(size - done, 0)); };
    qint64 got = input.readFully(buffer, nextPiece(0));
    if (got < 0)
        return readFailed(input, inputName);
    qint64 bytesRead = got;
    if (marker::startsWithHeader(bytes(buffer), std::size_t(got))) {
        m_control.line(kEncryptAlreadyEncrypted);
        return Outcome::Failed;
    }
    warnOfTrailingSpaces(input, buffer, got);

    if (open(locate, outputName) != Outcome::Done)
        return Outcome::Failed;
    if (!onePiece && !m_replacement->write(reinterpret_cast<const char *>(marker::kFileHeader), marker::kHeaderSize))
        return writeFailed(outputName);
    m_writer->start(*m_replacement);

    CbcStream cbc(m_cipherActive);
    for (;;) {
        if (got < kChunkSize || bytesRead >= size) {
            // Last piece: padded to whole blocks (the buffer has room past
            // the chunk).
            const qint64 padding = qint64(marker::paddingFor(std::uint64_t(got)));
            std::memset(buffer + got, marker::kPaddingByte, std::size_t(padding));
            cbc.encrypt(bytes(buffer), std::size_t(got + padding));
            if (!m_writer->put(buffer - lead, lead + got + padding) || !written())
                return writeFailed(outputName);
            break;
        }
        cbc.encrypt(bytes(buffer), std::size_t(got));
        if (!m_writer->put(buffer - lead, lead + got) || !(buffer = m_writer->buffer()))
            return writeFailed(outputName);
        lead = 0;
        m_control.reached(bytesRead, size);
        if (m_control.cancelled())
            return cancelled(inputName);
        got = input.readFully(buffer, nextPiece(bytesRead));
        if (got < 0)
            return readFailed(input, inputName);
        bytesRead += got;
    }
    m_control.reached(bytesRead, size);
    m_readWhole = bytesRead == size;
    return Outcome::Done;
}

Outcome FileTransform::decrypt(InputFile &input, const QString &inputName, const QString &outputName,
                               const Locator &locate)
{
    const qint64 size = input.size();
    char header[marker::kHeaderSize];
    const qint64 headerLength = input.readFully(header, qint64(marker::kHeaderSize));
    if (headerLength < 0)
        return readFailed(input, inputName);
    if (!marker::startsWithHeader(bytes(header), std::size_t(headerLength))) {
        m_control.line(kDecryptNotEncrypted);
        return Outcome::Failed;
    }
    if ((size - qint64(marker::kHeaderSize)) % 16 != 0) {
        m_control.line(kDecryptBadLength);
        return Outcome::Failed;
    }

    if (open(locate, outputName) != Outcome::Done)
        return Outcome::Failed;

    // The length is known: the chunk that ends the file is the only one that
    // can carry padding, and every write of plaintext starts on a page.
    m_writer->start(*m_replacement);
    qint64 remaining = size - qint64(marker::kHeaderSize);
    CbcStream cbc(m_cipherActive);
    while (remaining > 0) {
        char *buffer = m_writer->buffer();
        if (!buffer)
            return writeFailed(outputName);
        const qint64 want = qMin(kChunkSize, remaining);
        const qint64 got = input.readFully(buffer, want);
        if (got < 0)
            return readFailed(input, inputName);
        if (got < want)
            return changed(inputName); // shorter than when we looked: cut meanwhile
        cbc.decrypt(bytes(buffer), std::size_t(got));
        remaining -= got;
        const qint64 keep =
            remaining > 0 ? got : got - 16 + qint64(marker::unpaddedLength(bytes(buffer + got - 16), 16));
        if (!m_writer->put(buffer, keep))
            return writeFailed(outputName);
        m_control.reached(size - remaining, size);
        if (remaining > 0 && m_control.cancelled())
            return cancelled(inputName);
    }
    if (!written())
        return writeFailed(outputName);
    m_readWhole = true;
    return Outcome::Done;
}

Outcome FileTransform::completeWith(const QString &inputName, const QString &outputName,
                                    const std::function<bool()> &check)
{
    if (!m_replacement)
        return Outcome::Failed;
    if (m_control.cancelled())
        return cancelled(inputName);
    if (!m_replacement->finish(Replacement::Flush::Now))
        return writeFailed(outputName);
    if (!m_replacement->attributesNotKept().isEmpty())
        m_control.line(withReason(kAttributesNotKept[m_direction], outputName,
                                  m_replacement->attributesNotKept().join(QLatin1String(", "))));
    // A flush can take long on a busy disk: a cancel meanwhile still counts.
    if (m_control.cancelled())
        return cancelled(inputName);
    if (!m_readWhole || !check())
        return changed(inputName);
    const Folder &folder = m_replacement->folder();
    switch (m_replacement->commit()) {
    case Replacement::Committed::Done:
        break;
    case Replacement::Committed::Changed:
        return changed(inputName);
    case Replacement::Committed::Failed:
        return writeFailed(outputName);
    case Replacement::Committed::KeptAside:
        m_writer->abandon();
        m_control.line(withReason(kKeptAside[m_direction], m_replacement->keptAside(), m_replacement->errorString()));
        m_replacement.reset();
        return Outcome::Failed;
    }
    m_replacement.reset();
    // The rename itself is on disk only once its folder is.
    QString reason;
    if (!folder.flush(&reason)) {
        m_control.line(withReason(kNotDurable[m_direction], outputName, reason));
        return Outcome::Failed;
    }
    return Outcome::Done;
}

} // namespace filecrypt

} // namespace vaultine
