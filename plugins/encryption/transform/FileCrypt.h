// Encrypting and decrypting files by path, in place or into another file,
// behind the 17-byte header.
//
// Files are streamed in chunks through one CBC message, so memory stays
// bounded whatever the size. The result is written beside the output and
// replaces it only once complete and on disk, with the output's owner,
// group, mode and attributes; after any failure or a cancel the output keeps
// its previous bytes. A file with several names (hard links) is not
// rewritten: its other names would keep the old content.
#pragma once

#include "format/Direction.h"
#include "transform/Outcome.h"

#include <QString>

namespace vaultine {

namespace filecrypt {

// `cipherActive` false passes the bytes through (an unknown algorithm).
Outcome transformFile(Direction direction, const QString &inputPath, const QString &outputPath, bool cipherActive,
                      const Control &control);

// 0 when the new content is on disk, -1 otherwise.
int encryptFile(const QString &inputPath, const QString &outputPath, bool cipherActive, const LogFn &log);
int decryptFile(const QString &inputPath, const QString &outputPath, bool cipherActive, const LogFn &log);

// True when the file is readable and starts with the header; reads no more
// than the header.
bool isFileEncrypted(const QString &path);

} // namespace filecrypt

} // namespace vaultine
