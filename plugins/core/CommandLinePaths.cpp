#include "CommandLinePaths.h"

#include "WideArguments.h"

#include <QDir>
#include <QFileInfo>

namespace commandlinepaths {

namespace {

// Calls `take` with each option before "--", and with each other argument.
template <typename Option, typename Path>
void forEachArgument(int argc, char **argv, Option option, Path take)
{
    bool optionsEnded = false;
    const QStringList arguments = widearguments::of(argc, argv);
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

} // namespace commandlinepaths
