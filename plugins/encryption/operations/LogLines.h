// Log literals of the file and string operations. Each line is a literal
// followed directly by its value.
#pragma once

#include <QString>

namespace loglines {

// Encrypting a file.
inline const QString kEncryptCannotOpenInput = QStringLiteral("加密：无法打开文件 ");
inline const QString kEncryptSize = QStringLiteral("加密：文件大小：");
inline const QString kEncryptAlreadyEncrypted = QStringLiteral("加密：文件被加密过，无法再加密");
inline const QString kEncryptCannotOpenOutput = QStringLiteral("加密：无法输入打开文件 ");
inline const QString kEncryptTrailingSpaces = QStringLiteral("加密：警告：文件以空格结尾，解密后结尾的空格会丢失");
inline const QString kEncryptReadFailed = QStringLiteral("加密：读取文件失败 ");
inline const QString kEncryptChangedMeanwhile = QStringLiteral("加密：文件在加密过程中被其他程序修改，原文件保持不变 ");
inline const QString kEncryptWriteFailed = QStringLiteral("加密：写入文件失败，原文件保持不变 ");

// Decrypting a file.
inline const QString kDecryptCannotOpenInput = QStringLiteral("解密：无法打开输入文件 ");
inline const QString kDecryptSize = QStringLiteral("解密：文件大小：");
inline const QString kDecryptNotEncrypted = QStringLiteral("解密：文件未被加密过，无法解密");
inline const QString kDecryptBadLength = QStringLiteral("解密：密文长度不是16字节的整数倍，文件已损坏，无法解密");
inline const QString kDecryptCannotOpenOutput = QStringLiteral("解密：无法打开文件 ");
inline const QString kDecryptReadFailed = QStringLiteral("解密：读取文件失败 ");
inline const QString kDecryptChangedMeanwhile = QStringLiteral("解密：文件在解密过程中被其他程序修改，原文件保持不变 ");
inline const QString kDecryptWriteFailed = QStringLiteral("解密：写入文件失败，原文件保持不变 ");

// Strings.
inline const QString kStringLength = QStringLiteral("长度：");
inline const QString kStringInput = QStringLiteral("原始字符串：");
inline const QString kStringCipher = QStringLiteral("加密二进制：");
inline const QString kStringNotRestorable = QStringLiteral("警告：字符串以空格结尾或含有空字符，解密后无法完全还原");
inline const QString kDecryptStringLength = QStringLiteral("解密：长度：");
inline const QString kDecryptStringCipher = QStringLiteral("原始二进制字符串：");
inline const QString kDecryptStringResult = QStringLiteral("解密字符串：");
inline const QString kDecryptStringBadLength = QStringLiteral("解密：密文长度不是16字节的整数倍，无法解密，字符串保持不变");
inline const QString kDecryptStringNotAscii = QStringLiteral("解密：含有非ASCII字符，无法解密，字符串保持不变");

// Separates a path from the reason of a failure.
inline const QString kReasonSeparator = QStringLiteral("：");

} // namespace loglines
