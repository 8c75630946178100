# The reproducibility check, run by CTest with cmake -P: the library built
# again from SOURCE, in the folder AGAIN, emptied first, with the cache
# AGAIN.cmake of the first build's options, is LIBRARY byte for byte.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${AGAIN})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${AGAIN} -C ${AGAIN}.cmake RESULT_VARIABLE status
                OUTPUT_QUIET)
if(status EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${AGAIN} --target zelextensions RESULT_VARIABLE status
                  OUTPUT_QUIET)
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the second build in ${AGAIN} failed")
endif()
get_filename_component(name ${LIBRARY} NAME)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${LIBRARY} ${AGAIN}/${name} RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "${LIBRARY} and ${AGAIN}/${name}, built alike in two folders, differ")
endif()
