#include "FileJob.h"

#include "filesystem/RegularFile.h"
#include "format/ActionLogLines.h"
#include "transform/FileCrypt.h"

#include <QFile>

namespace vaultine {

namespace jobs {

Direction directionFor(Asked asked, bool encrypted)
{
    switch (asked) {
    case Asked::Encrypt:
        return Direction::Encrypt;
    case Asked::Decrypt:
        return Direction::Decrypt;
    case Asked::Toggle:
        break;
    }
    return encrypted ? Direction::Decrypt : Direction::Encrypt;
}

FileJob::FileJob(Direction direction, const QString &path, bool cipherActive)
    : FileJob(direction, path, path, cipherActive)
{
}

FileJob::FileJob(Direction direction, const QString &input, const QString &output, bool cipherActive)
    : m_direction(direction)
    , m_input(input)
    , m_output(output)
    , m_cipherActive(cipherActive)
{
}

std::optional<FileJob> FileJob::forFile(Asked asked, const QString &path, bool cipherActive, const LogFn &log)
{
    const bool encrypted = filecrypt::isFileEncrypted(path);
    const Direction direction = directionFor(asked, encrypted);
    // A plain file counts as plain only when it can be read: otherwise the
    // operation is to say why not.
    auto isReadable = [&path] {
        QFile file;
        return openRegularFileForReading(file, path);
    };
    if (asked != Asked::Toggle && encrypted == (direction == Direction::Encrypt) && (encrypted || isReadable())) {
        if (log)
            log(actionlines::alreadyInStateLine(direction, path));
        return std::nullopt;
    }
    return FileJob(direction, path, cipherActive);
}

filecrypt::Outcome FileJob::transform(const filecrypt::Control &control) const
{
    return filecrypt::transformFile(m_direction, m_input, m_output, m_cipherActive, control);
}

void FileJob::reportOutput(filecrypt::Outcome outcome, const LogFn &log) const
{
    if (outcome == filecrypt::Outcome::Done && log)
        log(actionlines::outputLine(m_direction, m_output));
}

filecrypt::Outcome FileJob::run(const filecrypt::Control &control) const
{
    const filecrypt::Outcome outcome = transform(control);
    reportOutput(outcome, control.log);
    return outcome;
}

} // namespace jobs

} // namespace vaultine
