# Runs one GoogleTest program for ctest (cmake -P, in the test's working
# directory) and passes only when it exits 0 and printed its "[  PASSED  ]"
# summary without a "[  FAILED  ]" line. A program that never ran its tests
# (a 32-bit program started by the 64-bit Wine loader prints nothing and exits
# 0) therefore fails.
#   -DPROGRAM=<test program> [-DEMULATOR=<runner;args>] [-DARCH=i686|x86_64]
# Under Wine the loader of the program's own architecture runs it, and
# WINELOADER names that loader so the programs it starts get the right one too.
if(EMULATOR AND ARCH STREQUAL "i686" AND EXISTS /usr/lib/wine/wine)
  set(EMULATOR /usr/lib/wine/wine)
elseif(EMULATOR AND ARCH STREQUAL "x86_64" AND EXISTS /usr/lib/wine/wine64)
  set(EMULATOR /usr/lib/wine/wine64)
endif()
if(EMULATOR MATCHES "^/usr/lib/wine/")
  set(ENV{WINELOADER} ${EMULATOR})
endif()
# The output goes to a file, not a pipe: a process the program leaves behind
# (Wine's desktop process, started by the first window, inherits the standard
# handles) would hold a pipe open and keep this run waiting until ctest's
# timeout. A program that itself never ends is stopped before that timeout,
# so its output is still shown.
get_filename_component(name "${PROGRAM}" NAME_WE)
set(log "${CMAKE_CURRENT_BINARY_DIR}/${name}.output.txt")
execute_process(
  COMMAND ${EMULATOR} ${PROGRAM}
  RESULT_VARIABLE result
  OUTPUT_FILE "${log}"
  ERROR_FILE "${log}"
  TIMEOUT 290)
file(READ "${log}" output)
execute_process(COMMAND ${CMAKE_COMMAND} -E cat "${log}")
if(NOT result STREQUAL "0")
  message(FATAL_ERROR "${PROGRAM} ended with ${result}")
endif()
if(NOT output MATCHES "\\[  PASSED  \\] [0-9]+ tests?\\.")
  message(FATAL_ERROR "${PROGRAM} printed no GoogleTest PASSED summary: its tests did not run")
endif()
if(output MATCHES "\\[  FAILED  \\]")
  message(FATAL_ERROR "${PROGRAM} reported failed tests")
endif()
