#include "RegularFile.h"

#include "SystemCalls_win.h"

#include <QFile>

#include <fcntl.h>
#include <io.h>

namespace vaultine {

bool openRegularFileForReading(QFile &file, const QString &path)
{
    if (path.isEmpty() || wincalls::isDevicePath(path))
        return false;
    FileHandle handle(
        wincalls::nativeOf(::CreateFileW(wincalls::widePath(path).c_str(), GENERIC_READ, wincalls::kShareAll, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)));
    FileState state;
    if (!handle.isValid() || !wincalls::stateOf(wincalls::handleOf(handle), &state) || state.kind != FileKind::Regular)
        return false;
    // QFile takes a C runtime descriptor; the descriptor then owns the handle.
    const int fd = ::_open_osfhandle(handle.native(), _O_RDONLY | _O_BINARY);
    if (fd < 0)
        return false;
    handle.release();
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::_close(fd);
        return false;
    }
    return true;
}

} // namespace vaultine
