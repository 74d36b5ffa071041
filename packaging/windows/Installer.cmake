# Keystrel-<version>-win64-setup.exe: CPack's NSIS generator (Debian's
# makensis) over the program folder that the zip holds, with this folder's
# NSIS.template.in (per user, no administrator rights) and Explorer's entries
# (ExplorerEntries.nsh), removing an installed version first
# (PreviousVersion.nsh). `cmake --build <dir> --target windows_installer`.
set(keystrel_windows_packaging ${CMAKE_CURRENT_LIST_DIR})

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Keystrel)
set(CPACK_PACKAGE_VENDOR "Keystrel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encrypt and decrypt text, files and folders in place")
set(CPACK_PACKAGE_FILE_NAME ${KEYSTREL_ZIP_NAME}-setup)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Keystrel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Keystrel)
# Exactly the zip's folder: nothing of the build's own install rules.
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_INSTALLED_DIRECTORIES "${CMAKE_BINARY_DIR}/${KEYSTREL_ZIP_NAME};.")
set(CPACK_RESOURCE_FILE_LICENSE ${keystrel_windows_packaging}/Installer-licences.txt)
# The licence page in the system's language (NSIS.template.in).
set(CPACK_KEYSTREL_LICENCE_ENGLISH ${keystrel_windows_packaging}/Installer-licences.txt)
set(CPACK_KEYSTREL_LICENCE_CHINESE ${keystrel_windows_packaging}/Installer-licences-zh_CN.txt)
# The wizard's pictures, from Keystrel's icon: the header of the inner pages
# (150 by 57) and the side of the welcome and finish pages (164 by 314), as
# the 24-bit BMP files NSIS takes.
find_program(KEYSTREL_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(KEYSTREL_IMAGEMAGICK convert PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(keystrel_pictures ${CMAKE_BINARY_DIR}/installer-pictures)
set(CPACK_KEYSTREL_HEADER_BITMAP ${keystrel_pictures}/header.bmp)
set(CPACK_KEYSTREL_WELCOME_BITMAP ${keystrel_pictures}/welcome.bmp)
set(keystrel_icon ${CMAKE_SOURCE_DIR}/packaging/keystrel.svg)
add_custom_command(OUTPUT ${CPACK_KEYSTREL_HEADER_BITMAP} ${CPACK_KEYSTREL_WELCOME_BITMAP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${keystrel_pictures}
    COMMAND ${KEYSTREL_RSVG_CONVERT} -w 49 -h 49 ${keystrel_icon} -o ${keystrel_pictures}/icon-49.png
    COMMAND ${KEYSTREL_IMAGEMAGICK} -size 150x57 xc:white ${keystrel_pictures}/icon-49.png -gravity east
        -geometry +6+0 -composite -type TrueColor BMP3:${CPACK_KEYSTREL_HEADER_BITMAP}
    COMMAND ${KEYSTREL_RSVG_CONVERT} -w 128 -h 128 ${keystrel_icon} -o ${keystrel_pictures}/icon-128.png
    COMMAND ${KEYSTREL_IMAGEMAGICK} -size 164x314 xc:white ${keystrel_pictures}/icon-128.png -gravity north
        -geometry +0+40 -composite -type TrueColor BMP3:${CPACK_KEYSTREL_WELCOME_BITMAP}
    DEPENDS ${keystrel_icon}
    COMMENT "Drawing the installer's pictures from packaging/keystrel.svg"
    VERBATIM)
add_custom_target(windows_installer_pictures DEPENDS ${CPACK_KEYSTREL_HEADER_BITMAP} ${CPACK_KEYSTREL_WELCOME_BITMAP})
set(CPACK_MODULE_PATH ${keystrel_windows_packaging})
set(CPACK_NSIS_DISPLAY_NAME Keystrel)
set(CPACK_NSIS_PACKAGE_NAME Keystrel)
set(CPACK_NSIS_INSTALLED_ICON_NAME Keystrel.exe)
set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/host/resources/windows/Keystrel.ico)
set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/host/resources/windows/Keystrel.ico)
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!include ExplorerEntries.nsh\n!insertmacro KeystrelAddExplorerEntries")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!include ExplorerEntries.nsh\n!insertmacro KeystrelRemoveExplorerEntries")
# The program's files, listed when CPack runs (the folder is filled by then),
# for the check that none is in use (ProgramInUse.nsh).
set(CPACK_KEYSTREL_PROGRAM_FOLDER "${CMAKE_BINARY_DIR}/${KEYSTREL_ZIP_NAME}")
set(CPACK_PROJECT_CONFIG_FILE ${keystrel_windows_packaging}/InstallerFiles.cmake)
# The uninstaller that the installer writes is signed as makensis makes it
# (!uninstfinalize), the installer once CPack has made it; both only when a
# certificate is given (scripts/sign-windows.sh).
set(CPACK_KEYSTREL_SIGN ${CMAKE_SOURCE_DIR}/scripts/sign-windows.sh)
# include(CPack) leaves the source package's name behind.
set(KEYSTREL_INSTALLER ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.exe)
include(CPack)

add_custom_target(windows_installer
    COMMAND ${CMAKE_CPACK_COMMAND} -G NSIS --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/sign-windows.sh ${KEYSTREL_INSTALLER}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS windows_zip windows_installer_pictures
    COMMENT "Building ${KEYSTREL_INSTALLER}"
    VERBATIM)
