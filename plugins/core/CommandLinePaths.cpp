#include "CommandLinePaths.h"

#include "WideArguments.h"

#include <QDir>
#include <QFileInfo>

namespace CommandLinePaths {

namespace {

// Calls `take` with each option before "--", and with each other argument.
template <typename Option, typename Path>
void forEachArgument(int argc, char **argv, Option option, Path take)
{
    bool optionsEnded = false;
    const QStringList arguments = WideArguments::of(argc, argv);
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.isEmpty())
            continue;
        if (!optionsEnded && argument == QLatin1String("--"))
            optionsEnded = true;
        else if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1)
            option(argument);
        else
            take(argument);
    }
}

#ifndef Q_OS_WIN
// The folder `path` really is, its links followed; empty if it is nothing.
QString realFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() ? info.canonicalFilePath() : QString();
}
#endif

} // namespace

QStringList fromArguments(int argc, char **argv)
{
    QStringList paths;
    forEachArgument(
        argc, argv, [](const QString &) {}, [&paths](const QString &argument) { paths << resolvedPath(argument); });
    return paths;
}

PathDirection directionFromArguments(int argc, char **argv)
{
    bool encrypt = false;
    bool decrypt = false;
    forEachArgument(
        argc, argv,
        [&](const QString &option) {
            encrypt = encrypt || option == QLatin1String("--encrypt");
            decrypt = decrypt || option == QLatin1String("--decrypt");
        },
        [](const QString &) {});
    if (encrypt && decrypt)
        return PathDirection::Contradictory;
    if (encrypt)
        return PathDirection::Encrypt;
    return decrypt ? PathDirection::Decrypt : PathDirection::AsDropped;
}

bool asksToQuitRunning(int argc, char **argv)
{
    bool asked = false;
    forEachArgument(
        argc, argv, [&asked](const QString &option) { asked = asked || option == QLatin1String("--quit-running"); },
        [](const QString &) {});
    return asked;
}

QString resolvedPath(const QString &argument)
{
#ifdef Q_OS_WIN
    // Windows itself folds ".." as text (GetFullPathName), links or not.
    return QDir::cleanPath(QDir::current().absoluteFilePath(argument));
#else
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
#endif
}

} // namespace CommandLinePaths
