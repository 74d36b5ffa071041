# Cross-building for 64-bit Windows with Debian's MinGW-w64 (posix thread
# model: the win32 one has no std::thread or std::mutex).
# Qt for MinGW: -DKEYSTREL_QT_WINDOWS=<prefix>, or the environment variable
# of that name (scripts/build-windows.sh sets it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT KEYSTREL_QT_WINDOWS AND DEFINED ENV{KEYSTREL_QT_WINDOWS})
    set(KEYSTREL_QT_WINDOWS $ENV{KEYSTREL_QT_WINDOWS})
endif()
if(NOT KEYSTREL_QT_WINDOWS)
    message(FATAL_ERROR "Qt for MinGW-w64 not named: set KEYSTREL_QT_WINDOWS to its prefix")
endif()
set(KEYSTREL_QT_WINDOWS ${KEYSTREL_QT_WINDOWS} CACHE PATH "Prefix of Qt built for MinGW-w64")
# try_compile projects read this file again and need the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KEYSTREL_QT_WINDOWS)

set(CMAKE_FIND_ROOT_PATH ${KEYSTREL_QT_WINDOWS} /usr/x86_64-w64-mingw32)
list(APPEND CMAKE_PREFIX_PATH ${KEYSTREL_QT_WINDOWS})
# moc, rcc and uic of that Qt are Linux programs.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
