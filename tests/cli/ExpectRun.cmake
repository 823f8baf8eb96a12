# Runs one quorin-mesh command line and checks its exit code and output.
#   PROGRAM    the executable
#   ARGS       its arguments, separated by "::"
#   EXIT_CODE  the expected exit code
#   STDOUT     regular expressions the standard output must match, separated by "::"
#   STDERR     regular expressions the standard error must match, separated by "::"
#   FILES      files that must exist afterwards, separated by "::"
cmake_minimum_required(VERSION 3.16)
string(REPLACE "::" ";" args "${ARGS}")
execute_process(COMMAND ${PROGRAM} ${args} RESULT_VARIABLE code OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
set(failures "")
if(NOT code STREQUAL "${EXIT_CODE}")
  string(APPEND failures "exit code ${code}, expected ${EXIT_CODE}\n")
endif()
foreach(stream STDOUT STDERR)
  if(stream STREQUAL "STDOUT")
    set(text "${out}")
  else()
    set(text "${err}")
  endif()
  string(REPLACE "::" ";" patterns "${${stream}}")
  foreach(pattern IN LISTS patterns)
    if(NOT text MATCHES "${pattern}")
      string(APPEND failures "${stream} does not match '${pattern}'\n")
    endif()
  endforeach()
endforeach()
string(REPLACE "::" ";" files "${FILES}")
foreach(file IN LISTS files)
  if(NOT EXISTS "${file}")
    string(APPEND failures "missing file ${file}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "quorin-mesh ${args}\n${failures}--- stdout:\n${out}--- stderr:\n${err}")
endif()
