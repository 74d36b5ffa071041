# Runs at install time, when the prefix is known (cmake --install --prefix):
# links the launcher into bin and writes the desktop entry that starts it.
# Set by the install code before: KEYSTREL_BINDIR, KEYSTREL_DATADIR,
# KEYSTREL_LAUNCHER_NAME, KEYSTREL_LAUNCHER_TARGET (relative to bin),
# KEYSTREL_DESKTOP_TEMPLATE.

set(bindir "${CMAKE_INSTALL_PREFIX}/${KEYSTREL_BINDIR}")
set(launcher "${bindir}/${KEYSTREL_LAUNCHER_NAME}")
set(link "$ENV{DESTDIR}${launcher}")
message(STATUS "Installing: ${link}")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${bindir}")
file(CREATE_LINK "${KEYSTREL_LAUNCHER_TARGET}" "${link}" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${link}")

# Exec is quoted, as the prefix may hold blanks: inside the quotes " ` $ and \
# take a backslash, % is doubled, and then, as in every string value of the
# entry, each backslash is doubled once more.
string(REGEX REPLACE "([\"`$\\])" "\\\\\\1" exec "${launcher}")
string(REPLACE "%" "%%" exec "${exec}")
string(REPLACE "\\" "\\\\" exec "\"${exec}\"")
string(REPLACE "\\" "\\\\" tryExec "${launcher}")

set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${KEYSTREL_DATADIR}/applications/keystrel.desktop")
message(STATUS "Installing: ${entry}")
file(READ "${KEYSTREL_DESKTOP_TEMPLATE}" text)
string(REPLACE "@KEYSTREL_EXEC@" "${exec}" text "${text}")
string(REPLACE "@KEYSTREL_TRYEXEC@" "${tryExec}" text "${text}")
file(WRITE "${entry}" "${text}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
