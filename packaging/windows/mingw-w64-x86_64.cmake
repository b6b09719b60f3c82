# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads, which Qt needs) against an
# unpacked Windows kit: COLETOR_WINDOWS_KIT holds qt6/ and sqlite/ (see scripts/windows.sh; the
# kit's own Qt build, scripts/windows-kit.sh, uses it with sqlite/ alone).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

if(NOT COLETOR_WINDOWS_KIT)
    set(COLETOR_WINDOWS_KIT "$ENV{COLETOR_WINDOWS_KIT}")
endif()
if(NOT IS_DIRECTORY "${COLETOR_WINDOWS_KIT}/sqlite")
    message(FATAL_ERROR "COLETOR_WINDOWS_KIT must name an unpacked Windows kit (with qt6/ and sqlite/)")
endif()
# try_compile projects read this file again and need the kit too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES COLETOR_WINDOWS_KIT)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${COLETOR_WINDOWS_KIT}/sqlite"
    "${COLETOR_WINDOWS_KIT}/qt6")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
