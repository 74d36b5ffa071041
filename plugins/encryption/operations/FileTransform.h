// One file read from an open input and written, transformed, as the
// replacement of a file in a folder: the part that single files and folder
// batches share. The replacement is left unflushed and uncommitted, so that
// a batch can flush many at once.
#pragma once

#include "FileJob.h"
#include "Replacement.h"

#include <QByteArray>
#include <QString>

#include <memory>

class InputFile;

namespace filecrypt {

// Where the result goes.
struct Target
{
    int folder = -1; // not owned
    QByteArray name;
    bool exists = false;
    struct stat info
    { };
};

// Log literals of one direction.
struct Texts
{
    QString cannotOpenInput, size, cannotOpenOutput, readFailed, changed, writeFailed, ownerNotKept, hardLinks,
        cancelled, attributesNotKept, notDurable;
};
const Texts &textsFor(Direction direction);

class FileTransform
{
public:
    FileTransform(Direction direction, bool cipherActive, const Control &control);

    // Logs the size line, applies the header rules, finds the target through
    // `locate` (only once the input is judged) and writes the whole
    // replacement. Done leaves it in replacement(); anything else is logged.
    template <typename Locate>
    Outcome write(InputFile &input, const QString &inputName, const QString &outputName, Locate &&locate)
    {
        return writeWith(input, inputName, outputName, [&](Target &target) { return locate(target); });
    }

    Replacement *replacement() const { return m_replacement.get(); }
    std::unique_ptr<Replacement> takeReplacement() { return std::move(m_replacement); }
    // Every byte of the input as it was opened was read.
    bool readWhole() const { return m_readWhole; }

    // Flushes and commits a written replacement over `outputName` and flushes
    // its folder; `inputStillSame` is asked just before the rename.
    template <typename Check>
    Outcome complete(const QString &inputName, const QString &outputName, Check &&inputStillSame)
    {
        return completeWith(inputName, outputName, [&] { return inputStillSame(); });
    }

private:
    Outcome writeWith(InputFile &input, const QString &inputName, const QString &outputName,
                      const std::function<bool(Target &)> &locate);
    Outcome completeWith(const QString &inputName, const QString &outputName, const std::function<bool()> &check);
    // Finds the target and starts its replacement.
    Outcome open(const std::function<bool(Target &)> &locate, const QString &outputName);
    Outcome encrypt(InputFile &input, const QString &inputName, const QString &outputName,
                    const std::function<bool(Target &)> &locate);
    Outcome decrypt(InputFile &input, const QString &inputName, const QString &outputName,
                    const std::function<bool(Target &)> &locate);
    Outcome writeFailed(const QString &outputName);
    Outcome readFailed(InputFile &input, const QString &inputName);
    Outcome cancelled(const QString &inputName);

    const Direction m_direction;
    const bool m_cipherActive;
    const Control &m_control;
    const Texts &m_texts;
    std::unique_ptr<Replacement> m_replacement;
    bool m_readWhole = false;
};

} // namespace filecrypt
