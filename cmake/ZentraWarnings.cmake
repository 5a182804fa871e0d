# zentra_warnings: the warning set every target of ours builds with, in each compiler's own terms
# (GCC and Clang share theirs; MSVC's is its nearest equivalent).
add_library(zentra_warnings INTERFACE)
set(zentra_gnu_like "$<CXX_COMPILER_ID:GNU,Clang,AppleClang>")
set(zentra_msvc "$<CXX_COMPILER_ID:MSVC>")
target_compile_options(zentra_warnings INTERFACE
  "$<${zentra_gnu_like}:-Wall;-Wextra;-Wpedantic;-Wshadow;-Wconversion;-Wsign-conversion>"
  "$<${zentra_gnu_like}:-Wnon-virtual-dtor;-Wold-style-cast;-Woverloaded-virtual>"
  "$<$<AND:${zentra_gnu_like},$<BOOL:${ZENTRA_WERROR}>>:-Werror>"
  "$<${zentra_msvc}:/W4;/permissive->"
  "$<$<AND:${zentra_msvc},$<BOOL:${ZENTRA_WERROR}>>:/WX>")
