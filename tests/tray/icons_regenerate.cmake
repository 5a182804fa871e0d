# The committed icons are exactly what make_tray_icons draws.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${GENERATOR} ${OUT} RESULT_VARIABLE status)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "make_tray_icons failed: ${status}")
endif()
foreach(icon tray_armed.ico tray_triggered.ico tray_error.ico)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${icon} ${SOURCE}/${icon}
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${icon} differs from what make_tray_icons draws; remake the icons")
  endif()
endforeach()
