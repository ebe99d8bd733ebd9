# Runs one tarn-sim command and checks what it did. Called as
#   cmake -DPROGRAM=<tarn-sim> -DARGS=<arguments separated by |> -DSTATUS=<exit status>
#         [-DLINES=<count of output lines>] [-DFIRST=<regex>] [-DLAST=<regex>]
#         [-DSTDOUT=<regex>] [-DSTDERR=<regex>] -P check_cli.cmake
# FIRST and LAST match the first and last lines of standard output, STDOUT and STDERR the whole
# of each stream. Any check that fails ends the script with an error that shows both streams.
string(REPLACE "|" ";" arguments "${ARGS}")
execute_process(COMMAND ${PROGRAM} ${arguments}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)

set(failures "")
if(NOT status STREQUAL STATUS)
  string(APPEND failures "exit status ${status}, expected ${STATUS}\n")
endif()
# Lines are found with regular expressions rather than CMake lists, which brackets and
# semicolons in the output would split wrongly.
string(REGEX REPLACE "\n$" "" trimmed "${out}")
string(REGEX MATCHALL "\n" breaks "${trimmed}")
list(LENGTH breaks count)
set(first "")
set(last "")
if(NOT trimmed STREQUAL "")
  math(EXPR count "${count} + 1")
  string(REGEX MATCH "^[^\n]+" first "${trimmed}")
  string(REGEX MATCH "[^\n]+$" last "${trimmed}")
endif()
if(NOT LINES STREQUAL "" AND NOT count EQUAL LINES)
  string(APPEND failures "${count} output lines, expected ${LINES}\n")
endif()
if(NOT FIRST STREQUAL "")
  if(NOT first MATCHES "${FIRST}")
    string(APPEND failures "first line '${first}' does not match '${FIRST}'\n")
  endif()
endif()
if(NOT LAST STREQUAL "")
  if(NOT last MATCHES "${LAST}")
    string(APPEND failures "last line '${last}' does not match '${LAST}'\n")
  endif()
endif()
if(NOT STDOUT STREQUAL "" AND NOT out MATCHES "${STDOUT}")
  string(APPEND failures "standard output does not match '${STDOUT}'\n")
endif()
if(NOT STDERR STREQUAL "" AND NOT err MATCHES "${STDERR}")
  string(APPEND failures "standard error does not match '${STDERR}'\n")
endif()

if(NOT failures STREQUAL "")
  string(SUBSTRING "${out}" 0 2000 out_head)
  string(SUBSTRING "${err}" 0 2000 err_head)
  message(FATAL_ERROR "tarn-sim ${arguments}\n${failures}"
    "---- standard output (start) ----\n${out_head}\n"
    "---- standard error (start) ----\n${err_head}")
endif()
