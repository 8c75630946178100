# The package check, run by CPack once it has made the package (a post-build
# script), or with cmake -P and the same variables. The zip
# CPACK_PACKAGE_FILES is read first by its listing, before anything is
# unpacked: exactly four regular files, zelextensions.dll, README.txt,
# LICENSE.txt and SHA256SUMS, in one folder of the zip's name, and no other
# entry (no link, no name twice, no path that leaves the folder). Then,
# unpacked: each of the first three is the file that the build made
# (CPACK_ZEL_DLL, and CPACK_ZEL_FILES: README.txt and the licence);
# SHA256SUMS is byte for byte the text of their three sums; README.txt gives
# the DLL's size; every test in CPACK_ZEL_RECORDS passed with that very DLL;
# and the DLL passes the DLL check (with CPACK_ZEL_BITS, CPACK_ZEL_READOBJ,
# CPACK_ZEL_WINDRES, CPACK_ZEL_VERSION_RC).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/expect.cmake)

set(zip ${CPACK_PACKAGE_FILES})
get_filename_component(name ${zip} NAME_WLE)
set(packed zelextensions.dll README.txt LICENSE.txt)
set(wanted "")
foreach(file IN LISTS packed ITEMS SHA256SUMS)
  list(APPEND wanted ${name}/${file})
endforeach()
foreach(form t tv)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar ${form}f ${zip} OUTPUT_VARIABLE listing_${form}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
string(REGEX MATCHALL "[^\n]+" listed "${listing_t}")
expect("${zip} lists" "${listed}" "${wanted}")
if(NOT "\n${listing_tv}" MATCHES "^(\n-[^\n]*)+\n$")
  message(FATAL_ERROR "${zip} holds an entry that is no regular file:\n${listing_tv}")
endif()

set(work ${CPACK_TOPLEVEL_DIRECTORY}/unpacked)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${work} COMMAND_ERROR_IS_FATAL ANY)
set(folder ${work}/${name})

set(sums "")
set(built ${CPACK_ZEL_DLL} ${CPACK_ZEL_FILES})
foreach(packed_file built_file IN ZIP_LISTS packed built)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${folder}/${packed_file} ${built_file}
                  RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${zip}: its ${packed_file} is not ${built_file}")
  endif()
  file(SHA256 ${folder}/${packed_file} sum)
  string(APPEND sums "${sum}  ${packed_file}\n")
endforeach()
string(HEX "${sums}" sums)
file(READ ${folder}/SHA256SUMS written HEX)
if(NOT written STREQUAL sums)
  message(FATAL_ERROR "${zip}: SHA256SUMS is not byte for byte the three sums, each line ending in LF")
endif()

set(dll ${folder}/zelextensions.dll)
file(SHA256 ${dll} sum)
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

file(SIZE ${dll} size)
file(READ ${folder}/README.txt readme)
if(NOT readme MATCHES "and nothing else, ${size} bytes:")
  message(FATAL_ERROR "${zip}: README.txt does not give the DLL's size, ${size} bytes")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -DDLL=${dll} -DBITS=${CPACK_ZEL_BITS} -DREADOBJ=${CPACK_ZEL_READOBJ}
                -DWINDRES=${CPACK_ZEL_WINDRES} -DVERSION_RC=${CPACK_ZEL_VERSION_RC} -P ${CMAKE_CURRENT_LIST_DIR}/dll.cmake
                RESULT_VARIABLE failed ERROR_VARIABLE why)
if(failed)
  message(FATAL_ERROR "${zip}: its DLL fails the DLL check:\n${why}")
endif()
message(STATUS "${zip}: the four files, the checksums exact, the DLL the one tested, ${CPACK_ZEL_DLL}")
