# Runs at install time: links a command into bin. The program finds its
# plug-ins beside its real path, so bin holds only a relative link to it.
# Set by the install code before: KEYSTREL_LINK (relative to the prefix),
# KEYSTREL_LINK_TARGET (relative to the link's folder).

set(link "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${KEYSTREL_LINK}")
message(STATUS "Installing: ${link}")
get_filename_component(folder "${link}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
file(CREATE_LINK "${KEYSTREL_LINK_TARGET}" "${link}" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${link}")
