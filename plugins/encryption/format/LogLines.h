// Log literals of the file and string operations. Each line is a literal
// followed directly by its value.
#pragma once

#include "Direction.h"
#include "NativePath.h"
#include "UserText.h"

#include <QString>

namespace vaultine {

namespace loglines {

// Encrypting or decrypting a file.
inline const DirectedText kCannotOpenInput{QStringLiteral("加密：无法打开文件 "),
                                           QStringLiteral("解密：无法打开输入文件 ")};
inline const DirectedText kSize{QStringLiteral("加密：文件大小："), QStringLiteral("解密：文件大小：")};
inline const DirectedText kCannotOpenOutput{QStringLiteral("加密：无法输入打开文件 "),
                                            QStringLiteral("解密：无法打开文件 ")};
inline const DirectedText kReadFailed{QStringLiteral("加密：读取文件失败 "), QStringLiteral("解密：读取文件失败 ")};
inline const DirectedText kChangedMeanwhile{QStringLiteral("加密：文件在加密过程中被其他程序修改，原文件保持不变 "),
                                            QStringLiteral("解密：文件在解密过程中被其他程序修改，原文件保持不变 ")};
inline const DirectedText kWriteFailed{QStringLiteral("加密：写入文件失败，原文件保持不变 "),
                                       QStringLiteral("解密：写入文件失败，原文件保持不变 ")};
inline const DirectedText kOwnerNotKept{QStringLiteral("加密：无法保留文件的所有者和组，原文件保持不变 "),
                                        QStringLiteral("解密：无法保留文件的所有者和组，原文件保持不变 ")};
inline const DirectedText kHardLinks{
    QStringLiteral("加密：文件有多个名称（硬链接），其他名称会保留原内容，原文件保持不变 "),
    QStringLiteral("解密：文件有多个名称（硬链接），其他名称会保留原内容，原文件保持不变 ")};
inline const DirectedText kCancelled{QStringLiteral("加密：已取消，原文件保持不变 "),
                                     QStringLiteral("解密：已取消，原文件保持不变 ")};
inline const DirectedText kAttributesNotKept{QStringLiteral("加密：警告：无法保留扩展属性 "),
                                             QStringLiteral("解密：警告：无法保留扩展属性 ")};
// Another program holds the file open and shares it with no one (Windows).
inline const DirectedText kInUse{QStringLiteral("加密：文件正被其他程序使用，原文件保持不变 "),
                                 QStringLiteral("解密：文件正被其他程序使用，原文件保持不变 ")};
// The old content left its name and the new one could not take it: the new
// content stays, whole, under the temporary name that follows (Windows).
inline const DirectedText kKeptAside{QStringLiteral("加密：无法替换原文件，新内容保存在 "),
                                     QStringLiteral("解密：无法替换原文件，新内容保存在 ")};
// One of the files the running program is made of (its executable, its
// plug-ins, the libraries beside it): rewritten, it would break the program.
inline const DirectedText kProgramFile{
    QStringLiteral("加密：这是Keystrel程序自己的文件，加密后程序将无法运行，原文件保持不变 "),
    QStringLiteral("解密：这是Keystrel程序自己的文件，解密后程序将无法运行，原文件保持不变 ")};
inline const DirectedText kNotDurable{QStringLiteral("加密：无法确认新文件已写入磁盘 "),
                                      QStringLiteral("解密：无法确认新文件已写入磁盘 ")};

// One direction only.
inline const QString kEncryptAlreadyEncrypted = QStringLiteral("加密：文件被加密过，无法再加密");
inline const QString kEncryptTrailingSpaces = QStringLiteral("加密：警告：文件以空格结尾，解密后结尾的空格会丢失");
inline const QString kDecryptNotEncrypted = QStringLiteral("解密：文件未被加密过，无法解密");
inline const QString kDecryptBadLength = QStringLiteral("解密：密文长度不是16字节的整数倍，文件已损坏，无法解密");

// Strings. The lines with the text itself, its decryption or its ciphertext
// are the ones that must stay in the window.
inline const QString kStringLength = QStringLiteral("长度：");
inline const QString &kStringInput = usertext::kTextToEncrypt;
inline const QString &kStringCipher = usertext::kCiphertext;
inline const QString kStringNotRestorable = QStringLiteral("警告：字符串以空格结尾或含有空字符，解密后无法完全还原");
inline const QString kDecryptStringLength = QStringLiteral("解密：长度：");
inline const QString &kDecryptStringCipher = usertext::kCiphertextToDecrypt;
inline const QString &kDecryptStringResult = usertext::kDecryptedText;
inline const QString kDecryptStringBadLength =
    QStringLiteral("解密：密文长度不是16字节的整数倍，无法解密，字符串保持不变");
inline const QString kDecryptStringNotAscii = QStringLiteral("解密：含有非ASCII字符，无法解密，字符串保持不变");

using usertext::carriesUserText;

// Separates a path from the reason of a failure.
inline const QString kReasonSeparator = QStringLiteral("：");

// A failure's line: the literal, the path as the user reads it, the reason.
inline QString withReason(const QString &literal, const QString &path, const QString &reason)
{
    return literal + nativePath(path) + kReasonSeparator + reason;
}

} // namespace loglines

} // namespace vaultine
