# Applies ZENTRA_SANITIZE to everything built below this point, third-party test code included,
# so that sanitizer runtimes see every allocation and every lock.
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

option(ZENTRA_COVERAGE "Instrument for line and branch coverage (gcov)" OFF)
if(ZENTRA_COVERAGE)
  add_compile_options(--coverage -O0)
  add_link_options(--coverage)
endif()

option(ZENTRA_FUZZ "Build the libFuzzer targets (clang); instruments everything for them" OFF)
if(ZENTRA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
