# tray-host given a malformed timeline: a message naming the line, a non-zero exit status.
execute_process(COMMAND ${EMULATOR} ${EXE} ${TIMELINE}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status STREQUAL "2")
  message(FATAL_ERROR "exit status ${status}, expected 2; stderr: ${err}")
endif()
if(NOT err MATCHES "timeline line 3: unknown event 'explode'")
  message(FATAL_ERROR "stderr does not name the line: [${err}]")
endif()
if(NOT out STREQUAL "")
  message(FATAL_ERROR "unexpected stdout: [${out}]")
endif()
