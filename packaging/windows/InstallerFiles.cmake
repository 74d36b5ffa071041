# Read by CPack as it builds the installer (CPACK_PROJECT_CONFIG_FILE): one
# check for each file of the program folder, for the installer to make sure
# that none is in use before it replaces or removes any (ProgramInUse.nsh).
if(NOT CPACK_GENERATOR STREQUAL "NSIS")
    return()
endif()
file(GLOB_RECURSE keystrel_files LIST_DIRECTORIES false RELATIVE "${CPACK_KEYSTREL_PROGRAM_FOLDER}"
    "${CPACK_KEYSTREL_PROGRAM_FOLDER}/*")
list(SORT keystrel_files)
set(CPACK_NSIS_KEYSTREL_FILE_CHECKS "")
foreach(keystrel_file IN LISTS keystrel_files)
    string(REPLACE "/" "\\" keystrel_file "${keystrel_file}")
    string(APPEND CPACK_NSIS_KEYSTREL_FILE_CHECKS "  !insertmacro KeystrelCheckFile \"$INSTDIR\\${keystrel_file}\"\n")
endforeach()
