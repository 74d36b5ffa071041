#include "FileCrypt.h"

#include "filesystem/Folder.h"
#include "filesystem/InputFile.h"
#include "filesystem/ProgramFiles.h"
#include "format/LogLines.h"
#include "format/Marker.h"
#include "format/NativePath.h"
#include "transform/FileTransform.h"
#include "transform/LeftoverSweep.h"

#include <QFileInfo>

namespace vaultine {

namespace filecrypt {
namespace {

// The output as a name in its folder. A symbolic link stays a link and the
// file behind it gets the new bytes. A file the user made read-only is
// refused as a plain write would refuse it, rather than silently replaced;
// so is anything but a regular file (a device or pipe must never be swapped
// for a file).
bool locateOutput(const QString &outputPath, bool inPlace, const InputFile &input, Folder &folder, Target &target,
                  const Control &control)
{
    const QFileInfo info(outputPath);
    const QString real = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    if (real.isEmpty())
        return false;
    const QFileInfo realInfo(real);
    if (folder.open(realInfo.absolutePath()) != Folder::Opened::Ok)
        return false;
    // Before this rewrite makes a temporary file of its own there.
    sweepLeftovers(folder, control);
    target.folder = &folder;
    target.name = realInfo.fileName();
    FileState now;
    switch (folder.lookUp(target.name, &now)) {
    case Folder::Entry::Present:
        if (now.kind != FileKind::Regular || !folder.allowsWriting(target.name))
            return false;
        target.exists = true;
        target.state = now;
        break;
    case Folder::Entry::Absent:
        break;
    case Folder::Entry::Unknown:
        return false;
    }
    // Rewriting in place: the file must still be the one that was read when
    // it is replaced, whatever happened to the name meanwhile.
    if (inPlace || (target.exists && input.state().isSameFile(now))) {
        target.exists = true;
        target.state = input.state();
    }
    return true;
}

int resultOf(Outcome outcome)
{
    return outcome == Outcome::Done ? 0 : -1;
}

} // namespace

Outcome transformFile(Direction direction, const QString &inputPath, const QString &outputPath, bool cipherActive,
                      const Control &control)
{
    InputFile input;
    if (!input.open(inputPath)) {
        control.line((input.openFailure() == InputFile::Opened::InUse ? loglines::kInUse[direction]
                                                                      : loglines::kCannotOpenInput[direction])
                     + nativePath(inputPath));
        return Outcome::Failed;
    }
    const bool inPlace = inputPath == outputPath;
    FileState output;
    const bool outputIsProgram =
        !inPlace && stateAtPath(outputPath, FollowLinks::Yes, &output) && programfiles::isProgramFile(output.identity);
    if (programfiles::isProgramFile(input.state().identity) || outputIsProgram) {
        control.line(loglines::kProgramFile[direction] + nativePath((outputIsProgram ? outputPath : inputPath)));
        return Outcome::Failed;
    }
    Folder folder;
    FileTransform transform(direction, cipherActive, control);
    const Outcome written = transform.write(input, inputPath, outputPath, [&](Target &target) {
        return locateOutput(outputPath, inPlace, input, folder, target, control);
    });
    if (written != Outcome::Done)
        return written;
    // The input is still what was read: same file, size and time stamps.
    const Outcome outcome = transform.complete(inputPath, outputPath, [&] { return input.isStillAt(inputPath); });
    // Kept open until now, so that the rename does not wait for the old
    // content's blocks to be freed.
    input.closeLater();
    return outcome;
}

int encryptFile(const QString &inputPath, const QString &outputPath, bool cipherActive, const LogFn &log)
{
    return resultOf(transformFile(Direction::Encrypt, inputPath, outputPath, cipherActive, Control{log, nullptr, {}}));
}

int decryptFile(const QString &inputPath, const QString &outputPath, bool cipherActive, const LogFn &log)
{
    return resultOf(transformFile(Direction::Decrypt, inputPath, outputPath, cipherActive, Control{log, nullptr, {}}));
}

bool isFileEncrypted(const QString &path)
{
    InputFile file;
    if (!file.open(path))
        return false;
    char header[marker::kHeaderSize];
    const qint64 got = file.readFully(header, qint64(marker::kHeaderSize));
    return got > 0 && marker::startsWithHeader(reinterpret_cast<const std::uint8_t *>(header), std::size_t(got));
}

} // namespace filecrypt

} // namespace vaultine
