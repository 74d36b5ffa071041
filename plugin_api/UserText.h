// The log lines that carry a text the user typed, its decryption or its
// ciphertext (which anyone with the program can decrypt, the key being built
// in): the window may show them, nothing that ends up on disk may (standard
// error, a journal, a log file). The string operations write them, the core
// plug-in's mirror and the command line hold them back.
#pragma once

#include <QString>

namespace usertext {

inline const QString kTextToEncrypt = QStringLiteral("原始字符串：");
inline const QString kDecryptedText = QStringLiteral("解密字符串：");
inline const QString kCiphertext = QStringLiteral("加密二进制：");
inline const QString kCiphertextToDecrypt = QStringLiteral("原始二进制字符串：");

inline bool carriesUserText(const QString &line)
{
    return line.startsWith(kTextToEncrypt) || line.startsWith(kDecryptedText) || line.startsWith(kCiphertext)
           || line.startsWith(kCiphertextToDecrypt);
}

// Written in a saved log instead of the text.
inline const QString kWithheld = QStringLiteral("（这段文字只在窗口中显示，不保存）");

// A line that carries a user's text as it may be saved: its label, then
// kWithheld. Every other line as it is.
inline QString withoutUserText(const QString &line)
{
    for (const QString *label : {&kTextToEncrypt, &kDecryptedText, &kCiphertext, &kCiphertextToDecrypt}) {
        if (line.startsWith(*label))
            return *label + kWithheld;
    }
    return line;
}

} // namespace usertext
