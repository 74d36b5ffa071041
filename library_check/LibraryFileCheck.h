// A look at a library file before the dynamic loader maps it. The loader
// trusts the file: a truncated or malformed one kills the process (SIGBUS
// or SIGSEGV) and a named pipe makes it wait forever, instead of failing.
// The launcher looks at the core plug-in, the core plug-in at every other.
#pragma once

class QString;

namespace LibraryFileCheck {

// True when `path` is a regular file whose ELF headers fit this process and
// whose loadable segments lie within the file. Elsewhere than on ELF
// platforms, true for any regular file.
bool looksLoadable(const QString &path);
// The same for a file already open for reading (the caller may have looked
// at it through the same descriptor, so both looks see one file).
bool looksLoadable(int fd);

// Where the loader may look before `path` itself (Qt tries a "haswell"
// folder beside the file first on processors that have AVX2). Each of these
// that exists must look loadable too.
bool alternativesLookLoadable(const QString &path);

} // namespace LibraryFileCheck
