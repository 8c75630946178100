# The objects check, run by CTest with cmake -P: nothing of the library's
# OBJECTS, read by OBJDUMP, lies in writable data.
cmake_minimum_required(VERSION 3.25)

foreach(object IN LISTS OBJECTS)
  execute_process(COMMAND ${OBJDUMP} -h ${object} OUTPUT_VARIABLE sections COMMAND_ERROR_IS_FATAL ANY)
  # "  <index> <name> <size> ...": any writable data section with a size.
  string(REGEX MATCHALL "\n +[0-9]+ +\\.(data|bss|tdata|tbss)(\\.[^ ]*)? +[0-9a-f]+" writable "${sections}")
  foreach(section IN LISTS writable)
    if(NOT section MATCHES "\\.data\\.rel\\.ro" AND NOT section MATCHES " 0+$")
      string(STRIP "${section}" section)
      message(FATAL_ERROR "${object} has writable data: ${section}")
    endif()
  endforeach()
endforeach()
