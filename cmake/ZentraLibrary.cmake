# zentra_add_library(<name> SOURCES ... HEADERS ... [HEADER_DESTINATION dir])
# One installable library of the product: target zentra_<name>, alias and exported name
# zentra::<name>, public headers from ./include (installed under HEADER_DESTINATION, default
# include/zentra), C++17, and the project's warnings for its own sources only.
function(zentra_add_library name)
  cmake_parse_arguments(ARG "" "HEADER_DESTINATION" "SOURCES;HEADERS" ${ARGN})
  if(NOT ARG_HEADER_DESTINATION)
    set(ARG_HEADER_DESTINATION include/zentra)
  endif()
  set(target zentra_${name})
  add_library(${target} ${ARG_SOURCES})
  add_library(zentra::${name} ALIAS ${target})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${ARG_HEADER_DESTINATION}>)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:zentra_warnings>)
  target_compile_features(${target} PUBLIC cxx_std_17)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
  install(FILES ${ARG_HEADERS} DESTINATION ${ARG_HEADER_DESTINATION})
endfunction()
