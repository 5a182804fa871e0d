# Helpers for a Windows tray application on zentra::host; both give the executable a resource
# script, so the project needs the RC language (the package enables it on Windows).
#
#   zentra_embed_tray_icons(<target> [ARMED <file.ico>] [TRIGGERED <file.ico>] [ERROR <file.ico>]
#                           [ARMED_LIGHT <file.ico>] ... [ARMED_CONTRAST <file.ico>] ...)
#       Embeds the three tray icons in <target>, where the host finds them first
#       (ZENTRA_TRAY_ARMED, ZENTRA_TRAY_TRIGGERED, ZENTRA_TRAY_ERROR): no resources folder is
#       needed beside the executable. The application's own .ico files (relative to the
#       calling CMakeLists.txt) stand in for the library's; each holds the sizes it is shown at
#       (16 to 32 pixels for 100% to 200%). The variants the host picks by the taskbar's theme:
#       for a light taskbar <GLYPH>_LIGHT (resources ZENTRA_TRAY_<GLYPH>_LIGHT), for high
#       contrast <GLYPH>_CONTRAST (ZENTRA_TRAY_<GLYPH>_CONTRAST). With no file given at all, the
#       library's icons and their light variants.
#   zentra_add_dpi_manifest(<target> [NAME <assembly name>])
#       Gives <target> an application manifest: per-monitor DPI aware (v2, then v1), run with the
#       caller's rights (asInvoker). An executable has one manifest: do not add another.

# The icons: beside this file's folder in the source tree, under share/zentra/icons installed.
if(EXISTS "${CMAKE_CURRENT_LIST_DIR}/../resources/tray_armed.ico")
  get_filename_component(_zentra_icons "${CMAKE_CURRENT_LIST_DIR}/../resources" ABSOLUTE)
else()
  get_filename_component(_zentra_icons "${CMAKE_CURRENT_LIST_DIR}/../../../share/zentra/icons"
                         ABSOLUTE)
endif()
set_property(GLOBAL PROPERTY ZENTRA_TRAY_ICON_DIR "${_zentra_icons}")
set_property(GLOBAL PROPERTY ZENTRA_MANIFEST_TEMPLATE
             "${CMAKE_CURRENT_LIST_DIR}/zentra-app.manifest.in")
unset(_zentra_icons)

function(zentra_embed_tray_icons target)
  set(slots ARMED TRIGGERED ERROR ARMED_LIGHT TRIGGERED_LIGHT ERROR_LIGHT ARMED_CONTRAST
            TRIGGERED_CONTRAST ERROR_CONTRAST)
  cmake_parse_arguments(ARG "" "${slots}" "" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zentra_embed_tray_icons: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  get_property(icons GLOBAL PROPERTY ZENTRA_TRAY_ICON_DIR)
  # The library's own: its three icons, and their light variants when the application brings
  # no icon of its own.
  set(own FALSE)
  foreach(slot ${slots})
    if(ARG_${slot})
      set(own TRUE)
    endif()
  endforeach()
  foreach(glyph armed triggered error)
    string(TOUPPER "${glyph}" name)
    set(library_${name} "${icons}/tray_${glyph}.ico")
    if(NOT own)
      set(library_${name}_LIGHT "${icons}/tray_${glyph}_light.ico")
    endif()
  endforeach()
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}-zentra-icons.rc")
  set(content "")
  set(files "")
  foreach(slot ${slots})
    set(file "${library_${slot}}")
    if(ARG_${slot})
      get_filename_component(file "${ARG_${slot}}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
      if(NOT EXISTS "${file}")
        message(FATAL_ERROR "zentra_embed_tray_icons: the ${slot} icon ${file} does not exist")
      endif()
    endif()
    if(file)
      string(APPEND content "ZENTRA_TRAY_${slot} ICON \"${file}\"\n")
      list(APPEND files "${file}")
    endif()
  endforeach()
  file(CONFIGURE OUTPUT "${script}" CONTENT "${content}")
  set_source_files_properties("${script}" PROPERTIES OBJECT_DEPENDS "${files}")
  target_sources(${target} PRIVATE "${script}")
endfunction()

function(zentra_add_dpi_manifest target)
  cmake_parse_arguments(ARG "" "NAME" "" ${ARGN})
  set(ZENTRA_MANIFEST_NAME "${ARG_NAME}")
  if(NOT ZENTRA_MANIFEST_NAME)
    set(ZENTRA_MANIFEST_NAME "${target}")
  endif()
  get_property(template GLOBAL PROPERTY ZENTRA_MANIFEST_TEMPLATE)
  set(manifest "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  configure_file("${template}" "${manifest}" @ONLY)
  if(MSVC)
    # The MSVC linker merges .manifest sources into the one it embeds.
    target_sources(${target} PRIVATE "${manifest}")
  else()
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}-zentra-manifest.rc")
    file(CONFIGURE OUTPUT "${script}" CONTENT "1 24 \"${manifest}\"\n")  # RT_MANIFEST, id 1
    set_source_files_properties("${script}" PROPERTIES OBJECT_DEPENDS "${manifest}")
    target_sources(${target} PRIVATE "${script}")
  endif()
endfunction()
