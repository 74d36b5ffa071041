// A look at a library file before the dynamic loader maps it. The loader
// trusts the file: a truncated or malformed one kills the process (SIGBUS
// or SIGSEGV) and a named pipe makes it wait forever, instead of failing.
// The launcher looks at the core plug-in, the core plug-in at every other.
#pragma once

class QString;

namespace libraryfilecheck {

// True when `path` is a regular file whose headers fit this process and
// whose loaded parts lie within the file: ELF on Linux, a PE DLL for this
// machine on Windows. Elsewhere, true for any regular file.
bool looksLoadable(const QString &path);
// The same for a file already open for reading: LibraryFileCheck_unix.h,
// LibraryFileCheck_win.h.

// Where the loader may look before `path` itself (Qt on Linux tries a
// "haswell" folder beside the file first on processors that have AVX2).
// Each of these that exists must look loadable too.
bool alternativesLookLoadable(const QString &path);

} // namespace libraryfilecheck
