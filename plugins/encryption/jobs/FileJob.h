// One file encrypted or decrypted as a user asks for it, by the form's
// buttons and drops and by the command line alike: the operation with its
// lines, then "…已输出到:" once the new content is on disk.
#pragma once

#include "LogFn.h"
#include "format/Direction.h"
#include "transform/Outcome.h"

#include <QString>

#include <optional>

namespace vaultine {

namespace jobs {

// What the user asked for: one direction, or the one the file's header calls
// for (a drop).
enum class Asked { Encrypt, Decrypt, Toggle };

// `encrypted`: whether the file (for a folder, its first) has the header.
Direction directionFor(Asked asked, bool encrypted);

class FileJob
{
public:
    // The file at `path` rewritten in place, or `input` written as `output`.
    FileJob(Direction direction, const QString &path, bool cipherActive);
    FileJob(Direction direction, const QString &input, const QString &output, bool cipherActive);

    // The job that `asked` means for `path`; none when a direction was asked
    // for and the file already is so, which is logged ("文件:…不再加密"). A
    // missing or unreadable file gets its job: the operation says what is
    // wrong with it.
    static std::optional<FileJob> forFile(Asked asked, const QString &path, bool cipherActive, const LogFn &log);

    Direction direction() const { return m_direction; }
    const QString &input() const { return m_input; }
    const QString &output() const { return m_output; }

    // The operation alone, with its own lines. Free of widgets: runs on any
    // thread.
    filecrypt::Outcome transform(const filecrypt::Control &control) const;
    // "…已输出到:" when the outcome says the new content is on disk.
    void reportOutput(filecrypt::Outcome outcome, const LogFn &log) const;
    // Both, in that order.
    filecrypt::Outcome run(const filecrypt::Control &control) const;

private:
    Direction m_direction;
    QString m_input;
    QString m_output;
    bool m_cipherActive;
};

} // namespace jobs

} // namespace vaultine
