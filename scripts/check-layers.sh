#!/usr/bin/env bash
# Fails when the encryption engine's layers mix: a layer that includes one
# above it, or a POSIX header (or type) outside the Linux files of the file
# system layer (filesystem/*_unix.* for POSIX, *_linux.* for what only Linux
# has), where Windows is to add its own; and, over the whole program, when
# a file not named for its system holds system headers or branches.
set -euo pipefail
cd "$(dirname "$0")/../plugins/encryption"

# Each layer and the layers it may use.
declare -A may=(
    [cipher]="cipher"
    [format]="format"
    [filesystem]="filesystem"
    [transform]="transform cipher format filesystem"
    [strings]="strings cipher format"
    [batch]="batch cipher format filesystem transform"
    [jobs]="jobs cipher format filesystem transform batch"
)
bad=0
for layer in "${!may[@]}"; do
    for file in $(git ls-files -- "$layer/*.cpp" "$layer/*.h"); do
        for used in $(sed -n 's|^#include "\([a-z]*\)/.*|\1|p' "$file" | sort -u); do
            if [[ " ${may[$layer]} form " != *" $used "* ]] || [ "$used" = form ]; then
                echo "$file: the $layer layer includes $used/"
                bad=1
            fi
        done
    done
done
posix='#include <(unistd|fcntl|dirent|poll|pthread|signal)\.h>|#include <sys/'
if git ls-files -- '*.cpp' '*.h' | grep -v '_\(unix\|linux\)\.\(cpp\|h\)$' | grep -v '_win\.cpp$' | xargs grep -n -E "$posix"; then
    echo "POSIX headers above belong in filesystem/*_unix.cpp (or *_linux.cpp)"
    bad=1
fi
# The Windows side may take the C runtime's <fcntl.h> (its _O_ flags for a
# descriptor of a HANDLE), nothing else of POSIX.
if git ls-files -- '*_win.cpp' | xargs grep -n -E "${posix/fcntl|/}"; then
    echo "POSIX headers above have no place in the Windows side"
    bad=1
fi
if git ls-files -- 'filesystem/*.h' | grep -v '_\(unix\|linux\)\.h$' \
    | xargs grep -n -E '\b(struct stat|dev_t|ino_t|timespec|mode_t|int fd)\b'; then
    echo "The file system layer's interface above shows POSIX types"
    bad=1
fi

# Across the whole program: the operating system's headers and branches on
# the system only in files named for their system (*_unix.*, *_linux.*,
# *_win.*), behind portable headers.
cd ../..
system='#include <(unistd|fcntl|dirent|poll|pthread|signal|windows|shlobj|shellapi|aclapi|sddl|winternl|io)\.h>|#include <sys/|\b(Q_OS_[A-Z0-9_]+|_WIN32|__linux__|__unix__)\b'
if git ls-files -- 'host/*.cpp' 'host/*.h' 'library_check/*.cpp' 'library_check/*.h' 'plugins/*.cpp' 'plugins/*.h' \
    'cli/*.cpp' 'cli/*.h' 'plugin_api/*.h' | grep -v -E '_(unix|linux|win)\.(cpp|h)$' | xargs grep -n -E "$system"; then
    echo "Operating-system code above belongs in a file named for its system (*_unix, *_linux, *_win)"
    bad=1
fi
[ "$bad" -eq 0 ] && echo "Layers: each uses only those below it; POSIX only in filesystem/*_unix.* and *_linux.*; system code only in files named for their system"
exit "$bad"
