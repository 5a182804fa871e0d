# tray-host where it cannot make its window (no display, as ctest runs it headless): it exits with
# status 1, and the warning and its own error are in %LOCALAPPDATA%\zentra\tray-host.log, where a
# person finds them when the program had no console.
execute_process(COMMAND ${EMULATOR} cmd /c echo %LOCALAPPDATA%
                OUTPUT_VARIABLE folder OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND winepath -u "${folder}" OUTPUT_VARIABLE folder
                OUTPUT_STRIP_TRAILING_WHITESPACE)
set(log "${folder}/zentra/tray-host.log")
file(REMOVE "${log}")
unset(ENV{DISPLAY})  # no X display for it, whatever this machine has
execute_process(COMMAND ${EMULATOR} ${EXE} RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(NOT status STREQUAL "1")
  message(FATAL_ERROR "exit status ${status}, expected 1")
endif()
if(NOT EXISTS "${log}")
  message(FATAL_ERROR "no log file at ${log}")
endif()
file(READ "${log}" text)
if(NOT text MATCHES "\\[WARN\\] TrayHost: CreateWindowExW failed" OR
   NOT text MATCHES "\\[ERROR\\] tray-host: no window for the notification icon")
  message(FATAL_ERROR "the log lacks the failure: [${text}]")
endif()
