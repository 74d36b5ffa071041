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

set(engine_reason "needs the file engine, which has no Windows side yet")
# Folders of tests none of which runs on Windows, and why.
set(keystrel_windows_off_cli "runs keystrel-cli, which ${engine_reason}")
set(keystrel_windows_off_core
    "its folder builds ELF fixture plug-ins (found with dlsym) and a Unix-socket channel probe (tst_winlaunch hosts a plug-in under Wine)")
set(keystrel_windows_off_e2e "drives the Linux program through an LD_PRELOAD library")
set(keystrel_windows_off_form "the form ${engine_reason}")
set(keystrel_windows_off_host "drives the launcher through LD_PRELOAD and glibc's start-up (tst_winlaunch starts Keystrel.exe)")
set(keystrel_windows_off_batch ${engine_reason})
set(keystrel_windows_off_filesystem "tests the Linux side of the file system layer")
set(keystrel_windows_off_package "builds and installs the Debian package")
set(keystrel_windows_off_plugin "loads Vaultine, which ${engine_reason}")
set(keystrel_windows_off_reliability "LD_PRELOAD file hooks, setpriv and mounts; ${engine_reason}")
# Single tests.
set(keystrel_windows_off_tst_bufferops "links the form's code, which ${engine_reason}")

function(keystrel_not_run_on_windows name reason)
    file(APPEND ${KEYSTREL_NOT_RUN_LIST} "${name}: ${reason}\n")
endfunction()
