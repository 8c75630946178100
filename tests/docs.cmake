# The documents check, run by CTest with cmake -P: each of DOCS (under
# SOURCE) names exactly the listed functions' declaration texts, where it
# names any, and every relative link in a Markdown document leads to a file
# or folder that exists; the hosted CI's commands are those of
# docs/building.md.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/expect.cmake)

zel_functions(functions declarations)

# The hosted CI runs the commands of docs/building.md, each as it stands
# there.
file(STRINGS ${SOURCE}/.github/workflows/ci.yml commands REGEX "^ *(- command|run): (cmake|ctest|clang-tidy)")
file(READ ${SOURCE}/docs/building.md building)
foreach(command IN LISTS commands)
  string(REGEX REPLACE "^ *(- command|run): " "" command "${command}")
  string(FIND "${building}" "`${command}`" at)
  if(at LESS 0)
    message(FATAL_ERROR ".github/workflows/ci.yml runs ${command}, which docs/building.md does not give")
  endif()
endforeach()
foreach(doc IN LISTS DOCS)
  file(READ ${SOURCE}/${doc} text)
  string(REGEX MATCHALL "(String|Numeric|Date) [A-Za-z_][A-Za-z0-9_]*\\([A-Za-z0-9_ ,]*\\)" named "${text}")
  list(REMOVE_DUPLICATES named)
  if(named)
    expect("${doc} names the declarations (each document that names one names all, docs/adding.md)" "${named}"
      "${declarations}")
  endif()
  if(doc MATCHES "\\.md$")
    get_filename_component(folder "${SOURCE}/${doc}" DIRECTORY)
    # A bracket in a CMake list keeps its semicolons: none in the matches.
    string(REPLACE "](" "<link>(" text "${text}")
    string(REGEX MATCHALL "<link>\\([^)# ]+" targets "${text}")
    foreach(target IN LISTS targets)
      string(SUBSTRING "${target}" 7 -1 path)
      if(NOT path MATCHES "^[a-z]+:" AND NOT EXISTS "${folder}/${path}")
        message(FATAL_ERROR "${doc}: the link ${path} leads nowhere")
      endif()
    endforeach()
  endif()
endforeach()
