// Temporary: replaced by the form actions and drop handling.
#include "Form.h"
#include <QDropEvent>
void Form::clickEncryptButton(bool) {}
void Form::clickDecryptButton(bool) {}
void Form::clickEncryptFileButton(bool) {}
void Form::clickDecryptFileButton(bool) {}
void Form::dropEvent(QDropEvent *) {}
void Form::collectFiles(const QString &) {}
