#include "CommandLinePaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace CommandLinePaths {

namespace {

// Calls `take` with each option before "--", and with each other argument.
template <typename Option, typename Path>
void forEachArgument(int argc, char **argv, Option option, Path take)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const QByteArray argument(argv[i]);
        if (argument.isEmpty())
            continue;
        if (!optionsEnded && argument == "--")
            optionsEnded = true;
        else if (!optionsEnded && argument.startsWith('-') && argument.size() > 1)
            option(argument);
        else
            take(argument);
    }
}

// The folder `path` really is, its links followed; empty if it is nothing.
QString realFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() ? info.canonicalFilePath() : QString();
}

} // namespace

QStringList fromArguments(int argc, char **argv)
{
    QStringList paths;
    forEachArgument(
        argc, argv, [](const QByteArray &) {},
        [&paths](const QByteArray &argument) { paths << resolvedPath(QFile::decodeName(argument)); });
    return paths;
}

PathDirection directionFromArguments(int argc, char **argv)
{
    bool encrypt = false;
    bool decrypt = false;
    forEachArgument(
        argc, argv,
        [&](const QByteArray &option) {
            encrypt = encrypt || option == "--encrypt";
            decrypt = decrypt || option == "--decrypt";
        },
        [](const QByteArray &) {});
    if (encrypt && decrypt)
        return PathDirection::Contradictory;
    if (encrypt)
        return PathDirection::Encrypt;
    return decrypt ? PathDirection::Decrypt : PathDirection::AsDropped;
}

QString resolvedPath(const QString &argument)
{
    const QString absolute =
        QDir::isAbsolutePath(argument) ? argument : QDir::currentPath() + QLatin1Char('/') + argument;
    QString resolved;
    // Once a folder on the way is missing or no folder, the kernel stops
    // there: the rest stays as written, so that it names nothing either.
    bool unresolvable = false;
    for (const QString &part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..") && !unresolvable) {
            const QString folder = resolved.isEmpty() ? QStringLiteral("/") : realFolder(resolved);
            if (!folder.isEmpty()) {
                resolved = folder == QLatin1String("/") ? QString() : folder.section(QLatin1Char('/'), 0, -2);
                continue;
            }
            unresolvable = true;
        }
        resolved += QLatin1Char('/') + part;
    }
    return resolved.isEmpty() ? QStringLiteral("/") : resolved;
}

} // namespace CommandLinePaths
