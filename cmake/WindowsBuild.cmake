# What a Windows build adds: plug-in DLLs in bin/Plugin (a DLL is a runtime
# file to CMake, not a library one).
if(TARGET Vaultine)
    set_target_properties(Vaultine PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KEYSTREL_PLUGIN_DIR})
endif()
