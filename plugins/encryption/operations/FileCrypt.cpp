#include "FileCrypt.h"

#include "FileTransform.h"
#include "InputFile.h"
#include "LogLines.h"
#include "cipher/Marker.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace filecrypt {
namespace {

// A folder descriptor that closes itself.
class Folder
{
public:
    ~Folder()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
};

// The output as a name in its folder. A symbolic link stays a link and the
// file behind it gets the new bytes. A file the user made read-only is
// refused as a plain write would refuse it, rather than silently replaced;
// so is anything but a regular file (a device or pipe must never be swapped
// for a file).
bool locateOutput(const QString &outputPath, bool inPlace, const InputFile &input, Folder &folder, Target &target)
{
    const QFileInfo info(outputPath);
    const QString real = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    if (real.isEmpty())
        return false;
    const QFileInfo realInfo(real);
    folder.fd = ::open(QFile::encodeName(realInfo.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder.fd < 0)
        return false;
    target.folder = folder.fd;
    target.name = QFile::encodeName(realInfo.fileName());
    struct stat now;
    if (::fstatat(folder.fd, target.name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(now.st_mode) || ::faccessat(folder.fd, target.name.constData(), W_OK, AT_EACCESS) != 0)
            return false;
        target.exists = true;
        target.info = now;
    } else if (errno != ENOENT) {
        return false;
    }
    // Rewriting in place: the file must still be the one that was read when
    // it is replaced, whatever happened to the name meanwhile.
    if (inPlace || (target.exists && FileState::of(input.info()).isSameFile(now))) {
        target.exists = true;
        target.info = input.info();
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
        control.line(textsFor(direction).cannotOpenInput + inputPath);
        return Outcome::Failed;
    }
    Folder folder;
    FileTransform transform(direction, cipherActive, control);
    const bool inPlace = inputPath == outputPath;
    const Outcome written = transform.write(input, inputPath, outputPath, [&](Target &target) {
        return locateOutput(outputPath, inPlace, input, folder, target);
    });
    if (written != Outcome::Done)
        return written;
    const Outcome outcome = transform.complete(inputPath, outputPath, [&] {
        // The input is still what was read: same file, size and time stamps.
        struct stat now;
        return ::stat(QFile::encodeName(inputPath).constData(), &now) == 0
               && FileState::of(input.info()).isUnchanged(now);
    });
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
