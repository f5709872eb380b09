# Runs flinter-analyze once and checks its exit status, its standard output
# against a golden file and its standard error against a pattern.
#   cmake -DANALYZE=exe -DEMULATOR=a|b -DARGS=x|y -DWORKDIR=dir -DACTUAL=file
#         [-DGOLDEN=file] [-DEXPECT_RC=n] [-DSTDERR_REGEX=re] [-DSTDIN=file] -P run_case.cmake
# With FLINTER_UPDATE_GOLDEN=1 in the environment a differing golden file is
# rewritten and the case fails all the same: an update run is never green, so
# it cannot pass unnoticed; review the change and run again without it.
string(REPLACE "|" ";" emulator "${EMULATOR}")
string(REPLACE "|" ";" args "${ARGS}")
if(NOT DEFINED EXPECT_RC)
  set(EXPECT_RC 0)
endif()
set(input)
if(STDIN)
  set(input INPUT_FILE ${STDIN})
endif()

execute_process(
  COMMAND ${emulator} ${ANALYZE} ${args}
  WORKING_DIRECTORY ${WORKDIR}
  ${input}
  OUTPUT_FILE ${ACTUAL}
  ERROR_VARIABLE stderr
  RESULT_VARIABLE rc)

set(failures)
if(NOT rc STREQUAL EXPECT_RC)
  list(APPEND failures "exit status ${rc}, expected ${EXPECT_RC}")
endif()
if(STDERR_REGEX)
  if(NOT stderr MATCHES "${STDERR_REGEX}")
    list(APPEND failures "standard error does not match '${STDERR_REGEX}'")
  endif()
elseif(NOT emulator AND NOT stderr STREQUAL "")
  list(APPEND failures "unexpected standard error output")
endif()

if(GOLDEN)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${ACTUAL} ${GOLDEN}
                  RESULT_VARIABLE different)
  if("$ENV{FLINTER_UPDATE_GOLDEN}" STREQUAL "1")
    if(different)
      file(COPY_FILE ${ACTUAL} ${GOLDEN})
      list(APPEND failures "update mode: rewrote ${GOLDEN}, review it and run again without FLINTER_UPDATE_GOLDEN")
    else()
      list(APPEND failures "update mode: ${GOLDEN} unchanged, run again without FLINTER_UPDATE_GOLDEN")
    endif()
  elseif(different)
    file(READ ${ACTUAL} actual_text)
    list(APPEND failures "standard output differs from ${GOLDEN}:\n${actual_text}")
  endif()
endif()

if(failures)
  string(REPLACE ";" "\n" failures "${failures}")
  message(FATAL_ERROR "flinter-analyze ${args}\n${failures}\nstandard error:\n${stderr}")
endif()
