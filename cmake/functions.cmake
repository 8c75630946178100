# The one list of the library's functions, include/zelfunctions.h, as the
# build reads it: the names, the declaration texts, and the sources that
# follow from the names. The checks read it in tests/check.py.

# Sets `names` to the functions' names and, if named, the variable after it
# to their declaration texts, both in registration order. Fails on a line of
# the list it cannot read.
function(zel_functions names)
  set(list ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../include/zelfunctions.h)
  file(STRINGS ${list} lines REGEX "^ZEL_FUNCTION\\(")
  set(found_names "")
  set(found_declarations "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^ZEL_FUNCTION\\(([A-Za-z_][A-Za-z0-9_]*), \"([^\"\\\\;]*)\"\\)$")
      message(FATAL_ERROR "${list}: not ZEL_FUNCTION(name, \"declaration\"): ${line}")
    endif()
    list(APPEND found_names ${CMAKE_MATCH_1})
    list(APPEND found_declarations "${CMAKE_MATCH_2}")
  endforeach()
  if(NOT found_names)
    message(FATAL_ERROR "${list} lists no function")
  endif()
  set(${names} ${found_names} PARENT_SCOPE)
  if(ARGC GREATER 1)
    set(${ARGV1} "${found_declarations}" PARENT_SCOPE)
  endif()
endfunction()

# Sets `out` to the sources of the listed functions, one each, named after
# the function in lower case: src/formatastime.cpp for FormatasTime. Fails,
# naming the file, where one is missing.
function(zel_function_sources out)
  zel_functions(names)
  set(sources "")
  foreach(name IN LISTS names)
    string(TOLOWER "src/${name}.cpp" source)
    if(NOT EXISTS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../${source})
      message(FATAL_ERROR "include/zelfunctions.h lists ${name}, whose source ${source} does not exist "
                          "(docs/adding.md)")
    endif()
    list(APPEND sources ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../${source})
  endforeach()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()
