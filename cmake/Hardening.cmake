# The hardening Debian builds its own packages with, as dpkg-buildflags gives
# it with DEB_BUILD_MAINT_OPTIONS=hardening=+all: stack protector, fortified
# libc calls, format checks, read-only relocations bound at load (relro and
# now) and position-independent executables. Not for sanitized builds (the
# sanitizers replace the fortified calls) nor for Windows.
option(KEYSTREL_HARDENING "Build with the distribution's hardening flags" ON)
set(KEYSTREL_HARDENED OFF)
if(NOT KEYSTREL_HARDENING OR WIN32 OR KEYSTREL_SANITIZE OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    return()
endif()

add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
# Fortified calls need the optimiser: not in a Debug build. Undefined first,
# where the compiler defines a level of its own.
add_compile_options($<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE> $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
add_link_options(LINKER:-z,relro LINKER:-z,now)
# Executables linked as PIE (CMAKE_POSITION_INDEPENDENT_CODE is on).
include(CheckPIESupported)
check_pie_supported()
set(KEYSTREL_HARDENED ON)
