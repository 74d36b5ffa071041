# The Debian package: `cpack -G DEB` in the build folder, or
# `cmake --build build --target package`, writes
# keystrel_<version>_<arch>.deb there; a build configured with
# -DKEYSTREL_BUILD_TESTS=OFF makes it without building the tests. Everything
# installs under /usr: the program and its plug-ins in /usr/lib/keystrel, the
# commands in /usr/bin.

set(KEYSTREL_PACKAGE_MAINTAINER "Keystrel maintainers <maintainers@users.noreply.c-seed-b22896c2.example>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME keystrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KEYSTREL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encrypt and decrypt text, files and folders in place")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KEYSTREL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary in front as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Keystrel is a small Qt desktop tool with a Chinese user interface. Text
typed into its window is turned into hexadecimal ciphertext and back; files
and folders dropped on the window, opened with it from a file manager or
named on its command line are encrypted or decrypted in place (AES-128-CBC).
keystrel-cli does the same from a terminal or a script, without a display.
.
The key is built into the program: the encryption keeps casual eyes out, not
anyone who has the program.")

# Depends from the binaries' libraries (dpkg-shlibdeps); the SVG plug-in
# draws the icons and is loaded by Qt, not linked; Qt's own texts in Chinese
# are read from qttranslations5-l10n (plugins/core/QtTranslation.cpp).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5svg5, qttranslations5-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-zenhei | fonts-noto-cjk")

# The desktop entry names the launcher by its final path: install with
# DESTDIR into /usr, not into a prefix inside the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
