#include "WideArguments.h"

#include <windows.h>

#include <shellapi.h>

namespace WideArguments {

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

} // namespace WideArguments
