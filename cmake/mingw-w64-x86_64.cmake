# Cross-compiles adpack.exe for 64-bit Windows with Debian's mingw-w64
# toolchain (apt-get install g++-mingw-w64-x86-64). The .exe is linked
# statically, so it needs no DLL beyond those that every Windows has
# (KERNEL32.dll and msvcrt.dll).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ADPACK_MINGW_PREFIX x86_64-w64-mingw32)
# The win32 thread model: adpack starts no thread, and so needs no
# winpthread.
find_program(CMAKE_CXX_COMPILER NAMES ${ADPACK_MINGW_PREFIX}-g++-win32
             ${ADPACK_MINGW_PREFIX}-g++ REQUIRED)
# C only for the sound libraries that the build makes from their sources.
find_program(CMAKE_C_COMPILER NAMES ${ADPACK_MINGW_PREFIX}-gcc-win32
             ${ADPACK_MINGW_PREFIX}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${ADPACK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ADPACK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into the .exe itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
