#include "Interrupt.h"

#include <csignal>

namespace interrupt {
namespace {

// Touched from the signal handler: must be lock-free to be safe there.
std::atomic<bool> g_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void onInterrupt(int)
{
    g_requested.store(true, std::memory_order_relaxed);
}

} // namespace

void install(BlockingCalls calls)
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // One shot: the handler gives way to the default action, so a second
    // Ctrl-C ends a program that seems stuck (a slow disk's flush).
    action.sa_flags = SA_RESETHAND | (calls == BlockingCalls::Restarted ? SA_RESTART : 0);
    sigaction(SIGINT, &action, nullptr);
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
