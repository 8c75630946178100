# What the checks share: expect(), and the one list of the library's
# functions (cmake/functions.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/functions.cmake)

# Fails unless the list `names`, sorted, is the list `expected`, sorted.
function(expect what names expected)
  list(SORT names)
  list(SORT expected)
  if(NOT names STREQUAL expected)
    message(FATAL_ERROR "${what} ${names}, not exactly ${expected}")
  endif()
endfunction()
