# Runs at install time, when the prefix is known (cmake --install --prefix):
# writes a desktop entry or file-manager action that starts the launcher.
# Set by the install code before: KEYSTREL_LAUNCHER (relative to the prefix),
# KEYSTREL_TEMPLATE, KEYSTREL_ENTRY (relative to the prefix).
#
# In the template:
#   @KEYSTREL_EXEC@        the launcher for an Exec key, as freedesktop.org's
#                          desktop entry format wants it: quoted, as the prefix may hold blanks
#                          (inside the quotes " ` $ and \ take a backslash, %
#                          is doubled), then, as in every string value, each
#                          backslash doubled once more
#   @KEYSTREL_SHELL_EXEC@  the same without doubling %, for files whose Exec
#                          is parsed as a plain command line (Nemo actions)
#   @KEYSTREL_TRYEXEC@     the launcher as a plain string value

set(launcher "${CMAKE_INSTALL_PREFIX}/${KEYSTREL_LAUNCHER}")
string(REGEX REPLACE "([\"`$\\])" "\\\\\\1" quoted "${launcher}")
set(quoted "\"${quoted}\"")
string(REPLACE "%" "%%" exec "${quoted}")
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\\" "\\\\" shellExec "${quoted}")
string(REPLACE "\\" "\\\\" tryExec "${launcher}")

set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${KEYSTREL_ENTRY}")
message(STATUS "Installing: ${entry}")
file(READ "${KEYSTREL_TEMPLATE}" text)
string(REPLACE "@KEYSTREL_EXEC@" "${exec}" text "${text}")
string(REPLACE "@KEYSTREL_SHELL_EXEC@" "${shellExec}" text "${text}")
string(REPLACE "@KEYSTREL_TRYEXEC@" "${tryExec}" text "${text}")
file(WRITE "${entry}" "${text}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
