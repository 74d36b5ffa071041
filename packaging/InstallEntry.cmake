# Runs at install time, when the prefix is known (cmake --install --prefix):
# writes a desktop entry or file-manager action that starts the launcher.
# Set by the install code before: KEYSTREL_LAUNCHER (relative to the prefix),
# KEYSTREL_TEMPLATE, KEYSTREL_ENTRY (relative to the prefix).
#
# In the template:
#   @KEYSTREL_EXEC@        the launcher for an Exec key, as freedesktop.org's
#                          desktop entry format wants it: quoted only when the
#                          path holds a character the format reserves (inside
#                          the quotes " ` $ and \ take a backslash), % doubled,
#                          then escaped as every string value is. Unquoted,
#                          launchers that split the line at blanks without
#                          reading quotes (xdg-open outside a desktop) find it.
#   @KEYSTREL_SHELL_EXEC@  the same without doubling %, for files whose Exec
#                          is parsed as a plain command line (Nemo actions)
#   @KEYSTREL_TRYEXEC@     the launcher as a plain string value

# Backslashes and control characters as a string value writes them.
function(keystrel_string_value text out)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    string(REPLACE "\t" "\\t" text "${text}")
    string(REPLACE "\r" "\\r" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(launcher "${CMAKE_INSTALL_PREFIX}/${KEYSTREL_LAUNCHER}")
set(argument "${launcher}")
if(launcher MATCHES "[ \t\n\r\"'\\\\><~|&;$*?#()`]")
    string(REGEX REPLACE "([\"`$\\])" "\\\\\\1" argument "${launcher}")
    set(argument "\"${argument}\"")
endif()
string(REPLACE "%" "%%" exec "${argument}")
keystrel_string_value("${exec}" exec)
keystrel_string_value("${argument}" shellExec)
keystrel_string_value("${launcher}" tryExec)

set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${KEYSTREL_ENTRY}")
message(STATUS "Installing: ${entry}")
file(READ "${KEYSTREL_TEMPLATE}" text)
string(REPLACE "@KEYSTREL_EXEC@" "${exec}" text "${text}")
string(REPLACE "@KEYSTREL_SHELL_EXEC@" "${shellExec}" text "${text}")
string(REPLACE "@KEYSTREL_TRYEXEC@" "${tryExec}" text "${text}")
file(WRITE "${entry}" "${text}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
