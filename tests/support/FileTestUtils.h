// Small helpers shared by the file operation tests.
#pragma once

#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

namespace filetest {

constexpr char kKeyHex[] = "4b8b92b0f10cb41fd91d9cbc42023f83";
constexpr char kIvHex[] = "5e5d3044342076ff1a94f8653215f47a";

inline QByteArray header()
{
    return QByteArray("has been encrypt", 16) + '\0';
}

inline bool write(const QString &path, const QByteArray &data)
{
    return testfiles::writeAll(path, data);
}

inline QByteArray read(const QString &path)
{
    return testfiles::readAll(path);
}

inline bool haveOpenssl()
{
    return !QStandardPaths::findExecutable("openssl").isEmpty();
}

// An outside implementation: openssl without padding, under the fixed key.
inline QByteArray openssl(const QByteArray &input, bool decrypt)
{
    QProcess p;
    QStringList args{"enc", "-aes-128-cbc", "-nopad", "-K", kKeyHex, "-iv", kIvHex};
    if (decrypt)
        args << "-d";
    p.start("openssl", args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    return p.readAllStandardOutput();
}

inline QByteArray spacePadded(QByteArray plain)
{
    return plain.append(QByteArray((16 - plain.size() % 16) % 16, ' '));
}

using testfiles::entries;

} // namespace filetest
