# Applies ZENTRA_SANITIZE, coverage and fuzzing instrumentation to everything built below this
# point, third-party test code included, so that sanitizer runtimes see every allocation and every
# lock. These are GCC and Clang options; another compiler is refused rather than handed them.
option(ZENTRA_COVERAGE "Instrument for line and branch coverage (gcov)" OFF)
option(ZENTRA_FUZZ "Build the libFuzzer targets (clang); instruments everything for them" OFF)

set(zentra_instrumented FALSE)
if(NOT ZENTRA_SANITIZE STREQUAL "" OR ZENTRA_COVERAGE OR ZENTRA_FUZZ)
  set(zentra_instrumented TRUE)
endif()
if(zentra_instrumented AND NOT CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang|AppleClang)$")
  message(FATAL_ERROR "sanitizers, coverage and fuzzing are set up for GCC and Clang only, "
                      "not ${CMAKE_CXX_COMPILER_ID}")
endif()

if(ZENTRA_SANITIZE STREQUAL "address;undefined")
  add_compile_options(-fsanitize=address,undefined -fsanitize=signed-integer-overflow
                      -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(ZENTRA_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT ZENTRA_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ZENTRA_SANITIZE must be empty, 'address;undefined' or 'thread'")
endif()

if(ZENTRA_COVERAGE)
  add_compile_options(--coverage -O0)
  add_link_options(--coverage)
endif()

if(ZENTRA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "the fuzz targets need Clang (libFuzzer)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
