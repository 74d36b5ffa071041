cmake_minimum_required(VERSION 3.16)
# Assembles the Windows program folder and zips it (cmake -P; WindowsBuild.cmake
# passes the lists). Qt DLLs and the MinGW runtime are taken as the files'
# imports ask for them, starting from the program, the plug-ins and Qt's
# plug-ins: the Windows platform and the SVG icon engine (the bundled icons
# are SVG files, drawn as QIcon draws them). What the program needs and no
# more.
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/Plugin ${STAGE}/platforms ${STAGE}/iconengines ${STAGE}/translations ${STAGE}/licenses)

foreach(file ${PROGRAMS})
    file(COPY ${file} DESTINATION ${STAGE})
endforeach()
foreach(file ${PLUGINS})
    file(COPY ${file} DESTINATION ${STAGE}/Plugin)
endforeach()
file(COPY ${QT}/plugins/platforms/qwindows.dll DESTINATION ${STAGE}/platforms)
if(NOT EXISTS ${QT}/plugins/iconengines/qsvgicon.dll)
    message(FATAL_ERROR "${QT} has no Qt SVG (plugins/iconengines/qsvgicon.dll): scripts/windows-qt.sh refreshes it")
endif()
file(COPY ${QT}/plugins/iconengines/qsvgicon.dll DESTINATION ${STAGE}/iconengines)
foreach(file ${TRANSLATIONS})
    file(COPY ${file} DESTINATION ${STAGE}/translations)
endforeach()

# Where a DLL that some file imports comes from; the others are Windows' own.
function(provider_of name result)
    set(${result} "" PARENT_SCOPE)
    if(EXISTS ${QT}/bin/${name})
        set(${result} ${QT}/bin/${name} PARENT_SCOPE)
        return()
    endif()
    foreach(candidate ${RUNTIME})
        get_filename_component(candidate_name ${candidate} NAME)
        if(candidate_name STREQUAL name)
            set(${result} ${candidate} PARENT_SCOPE)
        endif()
    endforeach()
endfunction()

file(GLOB_RECURSE pending ${STAGE}/*.exe ${STAGE}/*.dll)
set(shipped "")
while(pending)
    list(POP_FRONT pending file)
    execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "objdump could not read ${file}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
    foreach(line ${imports})
        string(REGEX REPLACE "DLL Name: " "" name "${line}")
        string(STRIP "${name}" name)
        provider_of(${name} source)
        if(source AND NOT name IN_LIST shipped)
            list(APPEND shipped ${name})
            file(COPY ${source} DESTINATION ${STAGE})
            list(APPEND pending ${STAGE}/${name})
        endif()
    endforeach()
endwhile()

# Debug information is no use to a user (libstdc++ alone carries 20 MB).
file(GLOB_RECURSE binaries ${STAGE}/*.exe ${STAGE}/*.dll)
foreach(file ${binaries})
    execute_process(COMMAND ${STRIP} --strip-debug ${file} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "strip failed on ${file}")
    endif()
endforeach()

# Signed once stripped (a signature covers the bytes as shipped), when a
# certificate is given (scripts/sign-windows.sh says which variables).
file(GLOB_RECURSE binaries ${STAGE}/*.exe ${STAGE}/*.dll)
execute_process(COMMAND ${SIGN} ${binaries} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "signing the program's files failed")
endif()

foreach(entry ${LICENSES})
    string(REPLACE "=" ";" fields ${entry})
    list(GET fields 0 source)
    list(GET fields 1 name)
    configure_file(${source} ${STAGE}/licenses/${name} COPYONLY)
endforeach()
# Debian's copyright file sends the reader to Debian's copy of the Apache
# licence; in the zip the same text is beside it.
set(copyright ${STAGE}/licenses/Keystrel-copyright.txt)
file(READ ${copyright} text)
set(debian_path "\"/usr/share/common-licenses/Apache-2.0\"")
string(FIND "${text}" "${debian_path}" at)
if(at LESS 0)
    message(FATAL_ERROR "Keystrel-copyright.txt no longer names ${debian_path}: say where the licence text is")
endif()
string(REPLACE " On Debian systems, the complete text of the Apache License, Version 2.0 can\n be found in ${debian_path}."
    " The complete text of the Apache License, Version 2.0 is in this folder:\n Roboto-LICENSE.txt (Material-Design-Icons-LICENSE.txt is the same text)."
    text "${text}")
string(FIND "${text}" "${debian_path}" at)
if(NOT at LESS 0)
    message(FATAL_ERROR "Keystrel-copyright.txt: the sentence naming ${debian_path} has changed")
endif()
file(WRITE ${copyright} "${text}")

get_filename_component(parent ${STAGE} DIRECTORY)
get_filename_component(top ${STAGE} NAME)
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${top}
    WORKING_DIRECTORY ${parent} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "could not write ${ZIP}")
endif()
