// One file read from an open input and written, transformed, as the
// replacement of a file in a folder: the part that single files and folder
// batches share. The replacement is left unflushed and uncommitted, so that
// a batch can flush many at once.
#pragma once

#include "filesystem/FileState.h"
#include "filesystem/Replacement.h"
#include "format/Direction.h"
#include "transform/Outcome.h"

#include <QString>

#include <memory>

namespace vaultine {

class Folder;
class InputFile;

namespace filecrypt {

// Where the result goes.
struct Target
{
    const Folder *folder = nullptr; // not owned
    QString name;
    bool exists = false;
    FileState state; // of the file replaced, when it exists
};

class ChunkWriter;

class FileTransform
{
public:
    // `writer`: the chunk writer of whoever writes many files one after the
    // other (a stage of a batch), borrowed; null for one of its own.
    FileTransform(Direction direction, bool cipherActive, const Control &control, ChunkWriter *writer = nullptr);
    FileTransform(const FileTransform &) = delete;
    FileTransform &operator=(const FileTransform &) = delete;
    ~FileTransform();

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
    // Whether writing failed for want of room or handles, on whichever
    // thread wrote.
    Shortage shortage() const { return m_shortage; }

    // Flushes and commits a written replacement over `outputName` and flushes
    // its folder; `inputStillSame` is asked just before the rename.
    template <typename Check>
    Outcome complete(const QString &inputName, const QString &outputName, Check &&inputStillSame)
    {
        return completeWith(inputName, outputName, [&] { return inputStillSame(); });
    }

private:
    using Locator = std::function<bool(Target &)>;

    Outcome writeWith(InputFile &input, const QString &inputName, const QString &outputName, const Locator &locate);
    Outcome completeWith(const QString &inputName, const QString &outputName, const std::function<bool()> &check);
    // Finds the target and starts its replacement.
    Outcome open(const Locator &locate, const QString &outputName);
    Outcome encrypt(InputFile &input, const QString &inputName, const QString &outputName, const Locator &locate);
    Outcome decrypt(InputFile &input, const QString &inputName, const QString &outputName, const Locator &locate);
    // Whether the file's last bytes would be taken for padding.
    void warnOfTrailingSpaces(InputFile &input, const char *start, qint64 got);
    // Stops writing and discards the replacement.
    void drop();
    // Waits for the writer to write everything handed to it.
    bool written();
    Outcome writeFailed(const QString &outputName);
    Outcome readFailed(InputFile &input, const QString &inputName);
    Outcome cancelled(const QString &inputName);
    Outcome changed(const QString &inputName);

    const Direction m_direction;
    const bool m_cipherActive;
    const Control &m_control;
    std::unique_ptr<Replacement> m_replacement;
    std::unique_ptr<ChunkWriter> m_ownWriter;
    ChunkWriter *const m_writer; // stops using the replacement before it goes
    bool m_readWhole = false;
    Shortage m_shortage = Shortage::None;
};

} // namespace filecrypt

} // namespace vaultine
