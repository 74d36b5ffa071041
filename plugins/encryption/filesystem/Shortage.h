// Why the last failure of this thread's file calls may not be the file's
// own: the disk or quota was full, or the process held as many files open
// as it may. A batch tries such a file again once it holds less.
#pragma once

enum class Shortage { None, Room, Handles };

namespace shortage {

inline Shortage &lastOfThread()
{
    static thread_local Shortage last = Shortage::None;
    return last;
}

// What the system files call noted last on this thread, and forgets it.
inline Shortage take()
{
    const Shortage last = lastOfThread();
    lastOfThread() = Shortage::None;
    return last;
}

inline void note(Shortage what)
{
    if (what != Shortage::None)
        lastOfThread() = what;
}

} // namespace shortage
