# Runs at the end of `cmake --install` into a prefix: brings the prefix's
# MIME database (the type of encrypted files) and its desktop entries' type
# index up to date, so that file managers using the prefix know both. Not
# for a staging folder (DESTDIR, the package): the caches belong to the
# system, whose triggers rebuild them when the package is installed.
# Set by the install code before: KEYSTREL_DATADIR (relative to the prefix).

if(NOT "$ENV{DESTDIR}" STREQUAL "")
    return()
endif()
set(data "${CMAKE_INSTALL_PREFIX}/${KEYSTREL_DATADIR}")

# The single toggling action of earlier versions, replaced by two.
if(EXISTS "${data}/nemo/actions/keystrel.nemo_action")
    message(STATUS "Removing: ${data}/nemo/actions/keystrel.nemo_action")
    file(REMOVE "${data}/nemo/actions/keystrel.nemo_action")
endif()

foreach(step "update-mime-database;mime" "update-desktop-database;applications")
    list(GET step 0 tool)
    list(GET step 1 folder)
    find_program(KEYSTREL_${tool} ${tool})
    if(NOT KEYSTREL_${tool})
        message(STATUS "${tool} not found: run `${tool} ${data}/${folder}` once it is installed")
        continue()
    endif()
    message(STATUS "Updating: ${data}/${folder}")
    execute_process(COMMAND ${KEYSTREL_${tool}} "${data}/${folder}" RESULT_VARIABLE failed)
    if(failed)
        message(WARNING "${tool} ${data}/${folder} failed (${failed})")
    endif()
endforeach()
