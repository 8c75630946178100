# The package check, run by CPack once it has made the package (a post-build
# script), or with cmake -P and the same variables: the zip
# CPACK_PACKAGE_FILES unpacks to one folder of its name holding exactly
# zelextensions.dll, README.txt, LICENSE.txt and SHA256SUMS; each of the
# first three is the file that the build made (CPACK_ZEL_DLL, and
# CPACK_ZEL_FILES: README.txt and the licence); every test in CPACK_ZEL_RECORDS passed with that very
# DLL; SHA256SUMS is exactly the text of their three sums; README.txt gives
# the DLL's size; and the DLL passes the DLL check.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/dll.cmake)

set(zip ${CPACK_PACKAGE_FILES})
get_filename_component(name ${zip} NAME_WLE)
set(work ${CPACK_TOPLEVEL_DIRECTORY}/unpacked)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${work} COMMAND_ERROR_IS_FATAL ANY)
file(GLOB top RELATIVE ${work} ${work}/*)
expect("${zip} holds" "${top}" "${name}")
set(folder ${work}/${name})
file(GLOB files RELATIVE ${folder} ${folder}/*)
expect("${zip} holds in ${name}/" "${files}" "LICENSE.txt;README.txt;SHA256SUMS;zelextensions.dll")

set(sums "")
foreach(file zelextensions.dll README.txt LICENSE.txt)
  file(SHA256 ${folder}/${file} sum)
  string(APPEND sums "${sum}  ${file}\n")
endforeach()
file(READ ${folder}/SHA256SUMS written)
if(NOT written STREQUAL sums)
  message(FATAL_ERROR "${zip}: SHA256SUMS is not exactly\n${sums}")
endif()

set(packed_files zelextensions.dll README.txt LICENSE.txt)
set(built_files ${CPACK_ZEL_DLL} ${CPACK_ZEL_FILES})
foreach(packed built IN ZIP_LISTS packed_files built_files)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${folder}/${packed} ${built} RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${zip}: its ${packed} is not ${built}")
  endif()
endforeach()

set(DLL ${folder}/zelextensions.dll)
file(SHA256 ${DLL} sum)
if(NOT CPACK_ZEL_RECORDS)
  message(FATAL_ERROR "${zip}: no test is named whose record to require")
endif()
foreach(record IN LISTS CPACK_ZEL_RECORDS)
  if(NOT EXISTS ${record})
    message(FATAL_ERROR "${zip}: no record ${record}: that test has not passed with this build's DLL")
  endif()
  file(READ ${record} tested)
  if(NOT tested STREQUAL "${sum}\n")
    message(FATAL_ERROR "${zip}: the DLL is not the one that ${record} records as tested")
  endif()
endforeach()

file(SIZE ${DLL} size)
file(READ ${folder}/README.txt readme)
if(NOT readme MATCHES "and nothing else, ${size} bytes:")
  message(FATAL_ERROR "${zip}: README.txt does not give the DLL's size, ${size} bytes")
endif()
set(BITS ${CPACK_ZEL_BITS})
set(VERSION ${CPACK_PACKAGE_VERSION})
check_dll()
message(STATUS "${zip}: the four files, the checksums exact, the DLL the one tested, ${CPACK_ZEL_DLL}")
