// The form's file and string operations, under the selected algorithm.
#include "form/Form.h"

#include "FileCrypt.h"
#include "StringCrypt.h"

int Form::encryptFile(const QString &inputPath, const QString &outputPath)
{
    return filecrypt::encryptFile(inputPath, outputPath, selectedAlgorithmIsAes());
}

int Form::decryptFile(const QString &inputPath, const QString &outputPath)
{
    return filecrypt::decryptFile(inputPath, outputPath, selectedAlgorithmIsAes());
}

bool Form::isFileEncrypted(const QString &path)
{
    return filecrypt::isFileEncrypted(path);
}

int Form::encryptString(QString &text)
{
    stringcrypt::encryptString(text, selectedAlgorithmIsAes());
    return 0;
}

int Form::decryptString(QString &text)
{
    stringcrypt::decryptString(text, selectedAlgorithmIsAes());
    return 0;
}
