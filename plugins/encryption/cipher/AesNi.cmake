# The AES instruction path, on x86-64 with GCC or Clang. Its functions carry
# their own target attribute; the rest of the engine stays portable.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_sources(vaultine_cipher PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/AesNi.cpp
        ${CMAKE_CURRENT_LIST_DIR}/AesNi.h)
    target_compile_definitions(vaultine_cipher PUBLIC KEYSTREL_HAVE_AESNI)
else()
    message(STATUS "AES-NI path not built for ${CMAKE_SYSTEM_PROCESSOR}; portable AES only")
endif()
