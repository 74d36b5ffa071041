# What a Windows build adds: plug-in DLLs in bin/Plugin (a DLL is a runtime
# file to CMake, not a library one), Keystrel-<version>-win64.zip with the
# program, the Qt and MinGW DLLs it needs and the licences, and the installer
# of the same files (packaging/windows/Installer.cmake).
if(TARGET Vaultine)
    set_target_properties(Vaultine PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KEYSTREL_PLUGIN_DIR})
endif()

# The MinGW runtime: Qt's own DLLs import it, so it ships as DLLs (one copy
# of the C++ runtime for Qt, the program and the plug-ins).
foreach(dll libstdc++-6 libgcc_s_seh-1 libwinpthread-1)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}.dll
        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(found ${found} REALPATH)
    if(NOT EXISTS ${found})
        message(FATAL_ERROR "${dll}.dll not found beside ${CMAKE_CXX_COMPILER}")
    endif()
    list(APPEND KEYSTREL_MINGW_RUNTIME ${found})
endforeach()
list(GET KEYSTREL_MINGW_RUNTIME 0 KEYSTREL_MINGW_STDCXX)
list(GET KEYSTREL_MINGW_RUNTIME 2 KEYSTREL_MINGW_WINPTHREAD)
find_program(KEYSTREL_MINGW_OBJDUMP NAMES x86_64-w64-mingw32-objdump REQUIRED)
find_program(KEYSTREL_MINGW_STRIP NAMES x86_64-w64-mingw32-strip REQUIRED)

set(KEYSTREL_ZIP_NAME Keystrel-${PROJECT_VERSION}-win64)
set(zip_programs $<TARGET_FILE:Keystrel>)
set(zip_plugins $<TARGET_FILE:Hubstone>)
set(zip_depends Keystrel Hubstone)
if(TARGET Vaultine AND KEYSTREL_BUILD_ENGINE)
    list(APPEND zip_plugins $<TARGET_FILE:Vaultine>)
    list(APPEND zip_depends Vaultine)
endif()
if(TARGET keystrel-cli)
    list(APPEND zip_programs $<TARGET_FILE:keystrel-cli>)
    list(APPEND zip_depends keystrel-cli)
endif()
# Qt's own texts in Chinese (QtTranslation.h looks beside the program first):
# the catalogue is the same on every system, and stands alone (qt_zh_CN.qm
# only gathers it with modules the program does not use).
find_file(KEYSTREL_QTBASE_ZH_CN_QM qtbase_zh_CN.qm PATHS /usr/share/qt5/translations NO_DEFAULT_PATH
    NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(zip_translations ${KEYSTREL_QTBASE_ZH_CN_QM})
set(zip_licenses
    ${CMAKE_SOURCE_DIR}/packaging/debian/copyright=Keystrel-copyright.txt
    ${CMAKE_SOURCE_DIR}/NOTICE=NOTICE.txt
    ${CMAKE_SOURCE_DIR}/host/resources/fonts/LICENSE=Roboto-LICENSE.txt
    ${CMAKE_SOURCE_DIR}/host/resources/icons/LICENSE=Material-Design-Icons-LICENSE.txt
    ${CMAKE_SOURCE_DIR}/packaging/windows/Qt-NOTICE.txt=Qt-NOTICE.txt
    /usr/share/doc/libqt5core5a/copyright=Qt-copyright.txt
    /usr/share/doc/libqt5svg5/copyright=Qt-SVG-copyright.txt
    /usr/share/doc/qttranslations5-l10n/copyright=Qt-translations-copyright.txt
    /usr/share/common-licenses/LGPL-3=LGPL-3.txt
    /usr/share/common-licenses/GPL-3=GPL-3.txt
    /usr/share/doc/gcc-mingw-w64-base/copyright=MinGW-GCC-runtime-copyright.txt
    /usr/share/doc/mingw-w64-common/copyright=MinGW-w64-copyright.txt)
add_custom_target(windows_zip ALL
    COMMAND ${CMAKE_COMMAND}
        "-DPROGRAMS=${zip_programs}" "-DPLUGINS=${zip_plugins}"
        "-DRUNTIME=${KEYSTREL_MINGW_RUNTIME}" "-DLICENSES=${zip_licenses}" "-DTRANSLATIONS=${zip_translations}"
        -DQT=${KEYSTREL_QT_WINDOWS} -DOBJDUMP=${KEYSTREL_MINGW_OBJDUMP} -DSTRIP=${KEYSTREL_MINGW_STRIP}
        -DSIGN=${CMAKE_SOURCE_DIR}/scripts/sign-windows.sh
        -DSTAGE=${CMAKE_BINARY_DIR}/${KEYSTREL_ZIP_NAME} -DZIP=${CMAKE_BINARY_DIR}/${KEYSTREL_ZIP_NAME}.zip
        -P ${CMAKE_SOURCE_DIR}/cmake/WindowsZip.cmake
    DEPENDS ${zip_depends} ${CMAKE_SOURCE_DIR}/cmake/WindowsZip.cmake ${CMAKE_SOURCE_DIR}/scripts/sign-windows.sh
    COMMENT "Assembling ${KEYSTREL_ZIP_NAME}.zip"
    VERBATIM)

include(${CMAKE_SOURCE_DIR}/packaging/windows/Installer.cmake)
