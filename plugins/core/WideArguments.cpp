#include "WideArguments.h"

#include <QCoreApplication>
#include <QFile>

namespace WideArguments {

QStringList of(int argc, char **argv)
{
#if defined(Q_OS_WIN)
    // Qt maps what is left of argv back to its wide command line; when the
    // two do not match (no application object, or a vector of someone
    // else's), the 8-bit text is all there is.
    if (QCoreApplication::instance()) {
        const QStringList wide = QCoreApplication::arguments();
        if (wide.size() == argc)
            return wide;
    }
#endif
    QStringList arguments;
    for (int i = 0; i < argc && argv[i]; ++i)
        arguments << QFile::decodeName(argv[i]);
    return arguments;
}

} // namespace WideArguments
