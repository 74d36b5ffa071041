// Encrypting and decrypting files in place behind the 17-byte header.
//
// Files are streamed in chunks through one CBC message, so memory stays
// bounded whatever the size. The result goes to a temporary file beside the
// output that replaces it only once everything is written and flushed: after
// any failure the output keeps its previous bytes. Each step and failure is
// logged through ShowLogFunc.
#pragma once

#include <QString>

namespace filecrypt {

// `cipherActive` false passes the bytes through (an unknown algorithm).
// 0 when the new content is on disk, -1 otherwise.
int encryptFile(const QString &inputPath, const QString &outputPath, bool cipherActive);
int decryptFile(const QString &inputPath, const QString &outputPath, bool cipherActive);

// True when the file is readable and starts with the header; reads no more
// than the header.
bool isFileEncrypted(const QString &path);

} // namespace filecrypt
