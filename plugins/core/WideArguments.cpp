#include "WideArguments.h"

#include <QCoreApplication>
#include <QFile>

namespace WideArguments {

#if defined(Q_OS_WIN)
QStringList matched(int argc, char **argv, const QStringList &wide, const QVector<QByteArray> &narrow)
{
    // Taken from the end: everything after "--" is there unchanged, and
    // where Qt took an option and its value, the value left is the later
    // of two arguments that look alike.
    QStringList found;
    int next = wide.size() - 1;
    for (int i = argc - 1; i >= 0; --i) {
        if (!argv[i])
            return {};
        while (next >= 0 && narrow.at(next) != argv[i])
            --next;
        if (next < 0)
            return {};
        found.prepend(wide.at(next--));
    }
    return found;
}
#endif

QStringList of(int argc, char **argv)
{
#if defined(Q_OS_WIN)
    QVector<QByteArray> narrow;
    const QStringList wide = commandLine(&narrow);
    const QStringList fromCommandLine = matched(argc, argv, wide, narrow);
    if (!fromCommandLine.isEmpty() || argc == 0)
        return fromCommandLine;
    // Qt maps what is left of argv back to its wide command line; when the
    // two do not match (no application object, or a vector of someone
    // else's), the 8-bit text is all there is.
    if (QCoreApplication::instance()) {
        const QStringList qtWide = QCoreApplication::arguments();
        if (qtWide.size() == argc)
            return qtWide;
    }
#endif
    QStringList arguments;
    for (int i = 0; i < argc && argv[i]; ++i)
        arguments << QFile::decodeName(argv[i]);
    return arguments;
}

} // namespace WideArguments
