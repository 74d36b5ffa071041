// The command line's Windows console parts, driven from a test:
//   echo ARG    writes ARG (from the wide command line) to standard output
//               and a Chinese line to standard error;
//   interrupt   sends itself Ctrl-C twice: the first sets the flag, the
//               second ends the process as Windows' default does.
#include "ConsoleText.h"
#include "Interrupt.h"

#include <windows.h>

int main(int argc, char **argv)
{
    const QStringList arguments = consoletext::arguments(argc, argv);
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("echo")) {
        const bool out = consoletext::write(consoletext::Stream::Output, arguments.at(2).toUtf8() + '\n');
        const bool err = consoletext::write(consoletext::Stream::Error, QStringLiteral("日志行\n").toUtf8());
        return out && err && !consoletext::isConsole(consoletext::Stream::Output) ? 0 : 1;
    }
    if (arguments.size() == 2 && arguments.at(1) == QLatin1String("interrupt")) {
        interrupt::install(interrupt::BlockingCalls::Restarted);
        if (!::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
            return 3;
        // The handler runs on a thread of its own: wait for it (the test's
        // timeout bounds this).
        while (!interrupt::requested())
            ::Sleep(1);
        consoletext::write(consoletext::Stream::Output, "first taken\n");
        ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        for (;;)
            ::Sleep(1000);
    }
    return 2;
}
