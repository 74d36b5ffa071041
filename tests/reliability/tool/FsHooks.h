// Test-only hooks in the crypt tool: the C library's file calls are
// interposed so that the tool can stop dead, or play another program that
// changes the file, at an exact moment of an operation.
//
// KEYSTREL_TOOL_HOOK=<event>:<n>:<action>
//   event  read     n-th read that returns bytes of the file being processed
//          write    n-th write into any other regular file (the replacement)
//          sync     n-th fsync/fdatasync of the replacement, before it runs
//          link     n-th link that gives the replacement a name, after it
//          rename   n-th rename onto the path, before it runs
//          renamed  the same, after it succeeded
//          syncfs   n-th flush of a whole file system, before it runs
//          anyrename  n-th rename onto any name, before it runs (batches)
//          anyrenamed the same, after it succeeded
//   action kill (SIGKILL), append, truncate, replace (another file renamed
//          over the path), unlink, interrupt (SIGINT, as Ctrl-C)
// KEYSTREL_TOOL_NO_TMPFILE=1 makes open(O_TMPFILE) fail as on file systems
// without unnamed temporary files.
// KEYSTREL_TOOL_TRACE=1 prints "renamed: <path>" after each rename and
// "folder synced: <path>" after each flush of a folder, in order with the
// log lines.
#pragma once

#include <QString>

namespace fshooks {

// Starts watching `path` (its current file) according to the environment.
void arm(const QString &path);
// The same for a path in the local encoding; uses nothing of Qt, so that a
// preloaded copy can arm itself before the program starts.
void armEncoded(const char *path);

// True once the hook's action ran.
bool fired();

} // namespace fshooks
