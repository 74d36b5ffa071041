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
inline const QString kEncryptOwnerNotKept = QStringLiteral("加密：无法保留文件的所有者和组，原文件保持不变 ");
inline const QString kEncryptHardLinks =
    QStringLiteral("加密：文件有多个名称（硬链接），其他名称会保留原内容，原文件保持不变 ");
inline const QString kEncryptCancelled = QStringLiteral("加密：已取消，原文件保持不变 ");
inline const QString kEncryptAttributesNotKept = QStringLiteral("加密：警告：无法保留扩展属性 ");
inline const QString kEncryptNotDurable = QStringLiteral("加密：无法确认新文件已写入磁盘 ");

// Decrypting a file.
inline const QString kDecryptCannotOpenInput = QStringLiteral("解密：无法打开输入文件 ");
inline const QString kDecryptSize = QStringLiteral("解密：文件大小：");
inline const QString kDecryptNotEncrypted = QStringLiteral("解密：文件未被加密过，无法解密");
inline const QString kDecryptBadLength = QStringLiteral("解密：密文长度不是16字节的整数倍，文件已损坏，无法解密");
inline const QString kDecryptCannotOpenOutput = QStringLiteral("解密：无法打开文件 ");
inline const QString kDecryptReadFailed = QStringLiteral("解密：读取文件失败 ");
inline const QString kDecryptChangedMeanwhile = QStringLiteral("解密：文件在解密过程中被其他程序修改，原文件保持不变 ");
inline const QString kDecryptWriteFailed = QStringLiteral("解密：写入文件失败，原文件保持不变 ");
inline const QString kDecryptOwnerNotKept = QStringLiteral("解密：无法保留文件的所有者和组，原文件保持不变 ");
inline const QString kDecryptHardLinks =
    QStringLiteral("解密：文件有多个名称（硬链接），其他名称会保留原内容，原文件保持不变 ");
inline const QString kDecryptCancelled = QStringLiteral("解密：已取消，原文件保持不变 ");
inline const QString kDecryptAttributesNotKept = QStringLiteral("解密：警告：无法保留扩展属性 ");
inline const QString kDecryptNotDurable = QStringLiteral("解密：无法确认新文件已写入磁盘 ");

// Strings.
inline const QString kStringLength = QStringLiteral("长度：");
inline const QString kStringInput = QStringLiteral("原始字符串：");
inline const QString kStringCipher = QStringLiteral("加密二进制：");
inline const QString kStringNotRestorable = QStringLiteral("警告：字符串以空格结尾或含有空字符，解密后无法完全还原");
inline const QString kDecryptStringLength = QStringLiteral("解密：长度：");
inline const QString kDecryptStringCipher = QStringLiteral("原始二进制字符串：");
inline const QString kDecryptStringResult = QStringLiteral("解密字符串：");
inline const QString kDecryptStringBadLength =
    QStringLiteral("解密：密文长度不是16字节的整数倍，无法解密，字符串保持不变");
inline const QString kDecryptStringNotAscii = QStringLiteral("解密：含有非ASCII字符，无法解密，字符串保持不变");

// Lines that carry a user's text, its decryption or its ciphertext (which
// anyone with the program can decrypt): they belong in the window, never in
// a log file.
inline bool carriesUserText(const QString &line)
{
    return line.startsWith(kStringInput) || line.startsWith(kDecryptStringResult) || line.startsWith(kStringCipher)
           || line.startsWith(kDecryptStringCipher);
}

// Separates a path from the reason of a failure.
inline const QString kReasonSeparator = QStringLiteral("：");

} // namespace loglines
