#include "PathsAfterOptions.h"

#include <cstring>

PathsAfterOptions::PathsAfterOptions(int &argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i] && std::strcmp(argv[i], "--") == 0) {
            m_held.assign(argv + i, argv + argc);
            // The vector stays terminated where the count now ends.
            argv[i] = nullptr;
            argc = i;
            return;
        }
    }
}

void PathsAfterOptions::restore(int &argc, char **argv)
{
    if (m_held.empty())
        return;
    // The application object only ever shortens the part it saw, so the
    // held arguments fit where they were.
    for (char *argument : m_held)
        argv[argc++] = argument;
    argv[argc] = nullptr;
    m_held.clear();
}
