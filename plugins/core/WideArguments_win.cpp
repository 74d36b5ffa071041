#include "WideArguments_win.h"

#include <QCoreApplication>
#include <QFile>

#include <windows.h>

#include <shellapi.h>

namespace widearguments {

QStringList commandLine(QVector<QByteArray> *narrow)
{
    QStringList wide;
    narrow->clear();
    int count = 0;
    wchar_t **arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!arguments)
        return wide;
    for (int i = 0; i < count; ++i) {
        wide << QString::fromWCharArray(arguments[i]);
        // As qtmain converts it: the ANSI code page, its default character
        // for what it cannot hold.
        const int size = ::WideCharToMultiByte(CP_ACP, 0, arguments[i], -1, nullptr, 0, nullptr, nullptr);
        QByteArray bytes(qMax(size, 1), '\0');
        if (size > 0)
            ::WideCharToMultiByte(CP_ACP, 0, arguments[i], -1, bytes.data(), size, nullptr, nullptr);
        bytes.chop(1); // the terminating zero
        narrow->append(bytes);
    }
    ::LocalFree(arguments);
    return wide;
}

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

QStringList of(int argc, char **argv)
{
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
    QStringList arguments;
    for (int i = 0; i < argc && argv[i]; ++i)
        arguments << QFile::decodeName(argv[i]);
    return arguments;
}

} // namespace widearguments
