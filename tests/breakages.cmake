# The breakages check, run by CTest with cmake -P: each check of the release
# still catches what it guards. From the build's DLL, README.txt and LICENSE
# (DLL, README, LICENSE; BITS, VERSION) it makes good copies in WORK,
# which must pass, then applies one breakage a row, each of which the check
# that guards it must refuse.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/dll.cmake)

# Writes the bytes `hex` at byte `at` of `file`, in place.
function(patch file at hex)
  string(REGEX MATCHALL ".." bytes "${hex}")
  set(octal "")
  foreach(byte IN LISTS bytes)
    math(EXPR value "0x${byte}")
    math(EXPR high "${value} / 64")
    math(EXPR middle "${value} / 8 % 8")
    math(EXPR low "${value} % 8")
    string(APPEND octal "\\${high}${middle}${low}")
  endforeach()
  execute_process(COMMAND sh -c "printf '${octal}' | dd of='${file}' bs=1 seek=${at} conv=notrunc status=none"
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# The byte offset in the DLL of the first `hex` found at a byte boundary.
function(find_bytes out hex)
  string(FIND "${image}" "${hex}" at)
  math(EXPR odd "${at} % 2")
  if(at LESS 0 OR odd)
    message(FATAL_ERROR "${DLL}: ${hex} not found at a byte boundary")
  endif()
  math(EXPR at "${at} / 2")
  set(${out} ${at} PARENT_SCOPE)
endfunction()

# The section header of section `wanted`, in `out`.
function(section_header out wanted)
  foreach(section IN LISTS sections)
    string(REPLACE ":" ";" section "${section}")
    list(GET section 0 name)
    list(GET section 6 at)
    if(name STREQUAL wanted)
      set(${out} ${at} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${DLL} has no section ${wanted}")
endfunction()

# Runs `script` with the -D arguments after it; true in `out` if it passed.
function(passes out script)
  execute_process(COMMAND ${CMAKE_COMMAND} ${ARGN} -P ${CMAKE_CURRENT_LIST_DIR}/${script}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(status EQUAL 0)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
  set(last_output "${output}" PARENT_SCOPE)
endfunction()

# Little-endian hex of the 32-bit number `value`.
function(le32 out value)
  math(EXPR value "${value}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" value "${value}")
  string(LENGTH "${value}" length)
  math(EXPR pad "8 - ${length}")
  string(REPEAT "0" ${pad} zeros)
  string(REGEX MATCHALL ".." bytes "${zeros}${value}")
  list(REVERSE bytes)
  list(JOIN bytes "" value)
  set(${out} ${value} PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(package_name zelextensions-${VERSION}-broken)
set(good ${WORK}/good.dll)
file(COPY_FILE ${DLL} ${good})

# A package of the DLL `dll`, README.txt `readme` and the build's LICENSE,
# with a record of the tests having passed with `tested`, and SHA256SUMS its
# right text after the optional `prefix`; whether the package check passes
# it, in `out`.
function(package out dll readme tested)
  set(prefix "${ARGV4}")
  set(folder ${WORK}/package/${package_name})
  file(REMOVE_RECURSE ${WORK}/package)
  file(MAKE_DIRECTORY ${folder})
  file(COPY_FILE ${dll} ${folder}/zelextensions.dll)
  file(COPY_FILE ${readme} ${folder}/README.txt)
  file(COPY_FILE ${LICENSE} ${folder}/LICENSE.txt)
  set(sums "${prefix}")
  foreach(file zelextensions.dll README.txt LICENSE.txt)
    file(SHA256 ${folder}/${file} sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE ${folder}/SHA256SUMS "${sums}")
  file(SHA256 ${tested} sum)
  file(WRITE ${WORK}/record.sha256 "${sum}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${WORK}/${package_name}.zip --format=zip ${package_name}
                  WORKING_DIRECTORY ${WORK}/package COMMAND_ERROR_IS_FATAL ANY)
  passes(passed package.cmake -DCPACK_PACKAGE_FILES=${WORK}/${package_name}.zip -DCPACK_TOPLEVEL_DIRECTORY=${WORK}
    -DCPACK_ZEL_DLL=${dll} "-DCPACK_ZEL_FILES=${readme}\;${LICENSE}" -DCPACK_ZEL_RECORDS=${WORK}/record.sha256
    -DCPACK_ZEL_BITS=${BITS} -DCPACK_PACKAGE_VERSION=${VERSION})
  set(${out} ${passed} PARENT_SCOPE)
  set(last_output "${last_output}" PARENT_SCOPE)
endfunction()

# The good copies pass.
passes(passed dll.cmake -DDLL=${good} -DBITS=${BITS} -DVERSION=${VERSION})
if(NOT passed)
  message(FATAL_ERROR "the good DLL fails its check:\n${last_output}")
endif()
package(passed ${good} ${README} ${good})
if(NOT passed)
  message(FATAL_ERROR "the good package fails its check:\n${last_output}")
endif()

# A copy of the good DLL with each "offset=bytes" after `what` written into
# it must fail the DLL check.
function(dll_breakage what)
  set(broken ${WORK}/broken.dll)
  file(COPY_FILE ${good} ${broken})
  foreach(change IN LISTS ARGN)
    string(REPLACE "=" ";" change "${change}")
    list(GET change 0 at)
    list(GET change 1 bytes)
    math(EXPR at "${at}")
    patch(${broken} ${at} ${bytes})
  endforeach()
  passes(passed dll.cmake -DDLL=${broken} -DBITS=${BITS} -DVERSION=${VERSION})
  if(passed)
    message(FATAL_ERROR "the DLL check passes a DLL with ${what}")
  endif()
  message(STATUS "refused, ${what}: ${last_output}")
endfunction()

# A package made with `what` must fail the package check.
function(package_breakage what dll readme tested)
  package(passed ${dll} ${readme} ${tested} "${ARGV4}")
  if(passed)
    message(FATAL_ERROR "the package check passes a package with ${what}")
  endif()
  message(STATUS "refused, ${what}: ${last_output}")
endfunction()

# Where the breakages go, read from the good DLL.
set(DLL ${good})
read_dll()
utf16_hex(key "FileVersion")
utf16_hex(value "${VERSION}")
string(REGEX MATCH "${key}0000(0000)?${value}" version_text "${image}")
find_bytes(version_at "${version_text}")
string(LENGTH "${version_text}" length)
math(EXPR version_end "${version_at} + ${length} / 2")
section_header(rsrc .rsrc)
number(rsrc_flags "${rsrc} + 36" 4)
le32(rsrc_wx "${rsrc_flags} | 0xA0000000")
number(reloc "${directory} + 40" 4)
offset(reloc ${reloc})
number(exports ${directory} 4)
offset(exports ${exports})
number(functions "${exports} + 20" 4)
le32(one_more "${functions} + 1")

dll_breakage("the version text ${VERSION}1, longer than the binary version" "${version_end}=3100")
dll_breakage("a section both writable and executable" "${rsrc} + 36=${rsrc_wx}")
dll_breakage("one empty relocation block" "${directory} + 44=08000000" "${reloc} + 4=08000000")
dll_breakage("an export by ordinal alone" "${exports} + 20=${one_more}")

string(ASCII 239 187 191 bom)
string(ASCII 1 control)
file(READ ${README} readme)
file(SIZE ${DLL} size)
math(EXPR wrong_size "${size} + 512")
string(REPLACE " ${size} bytes" " ${wrong_size} bytes" readme "${readme}")
file(WRITE ${WORK}/README.txt "${readme}")
package_breakage("a byte-order mark before SHA256SUMS" ${good} ${README} ${good} "${bom}")
package_breakage("a control byte before SHA256SUMS' first line" ${good} ${README} ${good} "${control}\n")
package_breakage("a DLL that no test passed with" ${good} ${README} ${LICENSE})
package_breakage("a wrong size in README.txt" ${good} ${WORK}/README.txt ${good})
