# Tests of the Windows build run under Wine: CTest starts each test program
# through wine-run.sh. What cannot run there is named with the reason in
# tests/not-run-on-windows.txt, which scripts/test.sh prints.
get_filename_component(KEYSTREL_MINGW_RUNTIME_DIR ${KEYSTREL_MINGW_STDCXX} DIRECTORY)
get_filename_component(KEYSTREL_WINPTHREAD_DIR ${KEYSTREL_MINGW_WINPTHREAD} DIRECTORY)
get_filename_component(KEYSTREL_WINPTHREAD_DIR ${KEYSTREL_WINPTHREAD_DIR} REALPATH)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/tests/wine-run.sh @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/tests/wine-run.sh)

set(KEYSTREL_NOT_RUN_LIST ${CMAKE_BINARY_DIR}/tests/not-run-on-windows.txt)
file(WRITE ${KEYSTREL_NOT_RUN_LIST} "")

# Folders of tests none of which runs on Windows, and why.
set(keystrel_windows_off_core
    "its folder builds ELF fixture plug-ins (found with dlsym) and a Unix-socket channel probe (tst_winlaunch hosts a plug-in under Wine)")
set(keystrel_windows_off_e2e "drives the Linux program through an LD_PRELOAD library")
set(keystrel_windows_off_host "drives the launcher through LD_PRELOAD and glibc's start-up (tst_winlaunch starts Keystrel.exe)")
set(keystrel_windows_off_filesystem "tests the Linux side of the file system layer (tst_winfilesystem tests the Windows side)")
set(keystrel_windows_off_package "builds and installs the Debian package")
set(keystrel_windows_off_reliability "LD_PRELOAD file hooks, setpriv and mounts")
# Single tests, in folders that otherwise run.
set(posix_reason "made of POSIX calls")
set(keystrel_windows_off_tst_batchengine "dlsym interposition of the engine's system calls and POSIX modes; ${posix_reason}")
set(keystrel_windows_off_tst_clicommands "raises SIGINT, which Windows' C runtime does not hand to the console control handler (tst_cliconsole sends a console Ctrl-C)")
set(keystrel_windows_off_tst_clifiles "Unix modes, FIFOs and LD_PRELOAD hooks for a Ctrl-C at an exact write; tst_winfilesystem, tst_cliconsole and tst_clitexts cover the Windows side")
set(keystrel_windows_off_tst_filefaults "mounts and Unix modes; ${posix_reason}")
set(keystrel_windows_off_tst_fileidentity "owners, Unix modes and extended attributes (tst_winfilesystem checks attributes and creation time)")
set(keystrel_windows_off_tst_folderbatch "symbolic links, FIFOs and Unix modes of the Linux file system; ${posix_reason}")
set(keystrel_windows_off_tst_formdrop "FIFOs and Unix modes; ${posix_reason}")
set(keystrel_windows_off_tst_largefile "sets RLIMIT_FSIZE to fail a write; ${posix_reason}")
set(keystrel_windows_off_tst_longwork "dlsym interposition to slow a write; ${posix_reason}")
set(keystrel_windows_off_tst_vaultineplugin "loads Vaultine through dlopen (tst_winlaunch hosts plug-ins under Wine)")

function(keystrel_not_run_on_windows name reason)
    file(APPEND ${KEYSTREL_NOT_RUN_LIST} "${name}: ${reason}\n")
endfunction()
