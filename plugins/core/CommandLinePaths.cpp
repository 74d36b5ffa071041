#include "CommandLinePaths.h"

#include <QDir>
#include <QFile>

namespace CommandLinePaths {

QStringList fromArguments(int argc, char **argv)
{
    QStringList paths;
    bool optionsEnded = false;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const QByteArray argument(argv[i]);
        if (argument.isEmpty())
            continue;
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith('-') && argument.size() > 1)
            continue;
        paths << QDir::cleanPath(QDir::current().absoluteFilePath(QFile::decodeName(argument)));
    }
    return paths;
}

} // namespace CommandLinePaths
