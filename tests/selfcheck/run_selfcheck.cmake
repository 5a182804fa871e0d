# Runs zentra-selfcheck from WORKDIR and checks its exact stdout, empty stderr and exit status.
execute_process(
  COMMAND ${EMULATOR} ${EXE}
  WORKING_DIRECTORY ${WORKDIR}
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  RESULT_VARIABLE status)

set(expected "all tests passed\n")
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "exit status ${status}, expected 0; stderr: [${err}]")
endif()
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "stdout [${out}], expected [${expected}]")
endif()
if(NOT err STREQUAL "")
  message(FATAL_ERROR "stderr not empty: [${err}]")
endif()
