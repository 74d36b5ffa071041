#include "WideArguments.h"

#include <QFile>

namespace widearguments {

QStringList of(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc && argv[i]; ++i)
        arguments << QFile::decodeName(argv[i]);
    return arguments;
}

} // namespace widearguments
