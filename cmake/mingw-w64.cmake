# Cross-compiles for 64-bit Windows with mingw-w64 (posix thread model, for std::thread and
# std::mutex) and runs the built programs under Wine, so ctest works as on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZENTRA_MINGW x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${ZENTRA_MINGW}-gcc-posix ${ZENTRA_MINGW}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${ZENTRA_MINGW}-g++-posix ${ZENTRA_MINGW}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${ZENTRA_MINGW}-windres REQUIRED)

# Libraries, headers and packages come from the mingw sysroot, never from the Linux system, and
# from the prefixes named by CMAKE_PREFIX_PATH (-D or the environment), where packages built for
# Windows, such as zentra's, are installed.
set(CMAKE_FIND_ROOT_PATH /usr/${ZENTRA_MINGW} ${CMAKE_PREFIX_PATH})
if(DEFINED ENV{CMAKE_PREFIX_PATH})
  string(REPLACE ":" ";" ZENTRA_ENV_PREFIXES "$ENV{CMAKE_PREFIX_PATH}")
  list(APPEND CMAKE_FIND_ROOT_PATH ${ZENTRA_ENV_PREFIXES})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A static runtime: the executables need no DLLs beside them (zentra's libraries also ask for it).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(ZENTRA_WINE wine)
if(ZENTRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZENTRA_WINE})
endif()
