// Ctrl-C (and Ctrl-Break) in a Windows console, with the promises of the
// Unix side: the first sets the flag, a second ends the program at once.
#include "Interrupt.h"

#include <windows.h>

namespace interrupt {
namespace {

std::atomic<bool> g_requested{false};
std::atomic<bool> g_cancelReads{false};
HANDLE g_mainThread = nullptr;

// Runs on a thread of its own, which Windows starts for the event.
BOOL WINAPI onControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE; // closing the console, logging off: as Windows does
    if (g_requested.exchange(true))
        return FALSE; // the second: the default handler ends the process
    // A blocking read of standard input returns now, as EINTR does there.
    if (g_cancelReads.load() && g_mainThread)
        ::CancelSynchronousIo(g_mainThread);
    return TRUE;
}

} // namespace

void install(BlockingCalls calls)
{
    g_cancelReads.store(calls == BlockingCalls::Interrupted);
    static const bool installed = [] {
        ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &g_mainThread, 0, FALSE,
                          DUPLICATE_SAME_ACCESS);
        return ::SetConsoleCtrlHandler(onControl, TRUE) != 0;
    }();
    (void)installed;
}

const std::atomic<bool> *flag()
{
    return &g_requested;
}

bool requested()
{
    return g_requested.load(std::memory_order_relaxed);
}

} // namespace interrupt
