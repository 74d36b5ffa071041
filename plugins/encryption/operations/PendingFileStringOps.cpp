// Temporary: replaced by the file and string operations.
#include "form/Form.h"
int Form::encryptFile(const QString &, const QString &) { return -1; }
int Form::decryptFile(const QString &, const QString &) { return -1; }
bool Form::isFileEncrypted(const QString &) { return false; }
int Form::encryptString(QString &) { return 0; }
int Form::decryptString(QString &) { return 0; }
