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

# Tests run under Wine with the address-space layout fixed where setarch can do it: with it random,
# Wine 8 without its preloader fails about one start in two thousand (the loader's heap lands
# where Wine maps the shared user data, and wine exits with status 1, saying nothing).
find_program(ZENTRA_WINE wine)
find_program(ZENTRA_SETARCH setarch)
if(ZENTRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZENTRA_WINE})
  if(ZENTRA_SETARCH)
    execute_process(COMMAND ${ZENTRA_SETARCH} -R true RESULT_VARIABLE ZENTRA_SETARCH_STATUS
                    OUTPUT_QUIET ERROR_QUIET)
    if(ZENTRA_SETARCH_STATUS EQUAL 0)
      set(CMAKE_CROSSCOMPILING_EMULATOR ${ZENTRA_SETARCH} -R ${ZENTRA_WINE})
    endif()
  endif()
endif()
