# zentra_warnings: the warning set every target of ours builds with.
add_library(zentra_warnings INTERFACE)
target_compile_options(zentra_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
  $<$<BOOL:${ZENTRA_WERROR}>:-Werror>)
