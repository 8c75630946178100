# One run of a program, run by CTest with cmake -P: COMMAND (a list, its
# runner first, if any) must exit with STATUS and print what the regular
# expressions OUT and ERR match, each whole, carriage returns removed.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${COMMAND} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\r" "" out "${out}")
string(REPLACE "\r" "" err "${err}")
if(NOT status STREQUAL STATUS OR NOT out MATCHES "^${OUT}$" OR NOT err MATCHES "^${ERR}$")
  message(FATAL_ERROR "status ${status} (not ${STATUS}), stdout \"${out}\", stderr \"${err}\"")
endif()
