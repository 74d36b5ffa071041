// Opening user files for reading without ever blocking: only regular files
// (symbolic links followed) are opened; a FIFO, device, socket or folder is
// refused without waiting for a writer.
#pragma once

class QFile;
class QString;

namespace vaultine {

bool openRegularFileForReading(QFile &file, const QString &path);

} // namespace vaultine
