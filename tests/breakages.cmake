# The breakages check, run by CTest with cmake -P: each check of the release
# still refuses what it guards against, for its own reason. From the build's
# DLL, the forger's DLL FORGED, README.txt and LICENSE (DLL, FORGED, README,
# LICENSE; BITS, VERSION, and the readers READOBJ, WINDRES, OBJCOPY and
# VERSION_RC) it makes good copies in WORK, which must pass, then one
# breakage a row, each of which the check that guards it must refuse with a
# message that matches the row's.
cmake_minimum_required(VERSION 3.25)

set(readers -DBITS=${BITS} -DREADOBJ=${READOBJ} -DWINDRES=${WINDRES} -DVERSION_RC=${VERSION_RC})
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(good ${WORK}/good.dll)
file(COPY_FILE ${DLL} ${good})
file(READ ${good} image HEX)

# Writes the bytes `hex` at byte `at` of `file`, in place.
function(patch file at hex)
  math(EXPR at "${at}")
  string(REGEX MATCHALL ".." bytes "${hex}")
  set(octal "")
  foreach(byte IN LISTS bytes)
    math(EXPR value "0x${byte}")
    math(EXPR high "${value} >> 6")
    math(EXPR middle "(${value} >> 3) & 7")
    math(EXPR low "${value} & 7")
    string(APPEND octal "\\${high}${middle}${low}")
  endforeach()
  execute_process(COMMAND sh -c "printf '${octal}' | dd of='${file}' bs=1 seek=${at} conv=notrunc status=none"
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# The byte offset of the first (or, with REVERSE, last) `hex` in `file`.
function(find_bytes out file hex)
  file(READ ${file} bytes HEX)
  string(FIND "${bytes}" "${hex}" at ${ARGN})
  math(EXPR odd "${at} % 2")
  if(at LESS 0 OR odd)
    message(FATAL_ERROR "${file}: ${hex} not found at a byte boundary")
  endif()
  math(EXPR at "${at} / 2")
  set(${out} ${at} PARENT_SCOPE)
endfunction()

# The little-endian 32-bit number at byte `at` of the good DLL; the bytes of
# the 32-bit `value`.
function(number out at)
  math(EXPR digit "2 * (${at})")
  string(SUBSTRING "${image}" ${digit} 8 bytes)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" bytes "${bytes}")
  math(EXPR value "0x0${bytes}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()
function(le32 out value)
  math(EXPR value "0x100000000 + ${value}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x1(..)(..)(..)(..)$" "\\4\\3\\2\\1" value "${value}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# Runs `script` with the -D arguments after it; true in `out` if it passed.
function(passes out script)
  execute_process(COMMAND ${CMAKE_COMMAND} ${ARGN} -P ${CMAKE_CURRENT_LIST_DIR}/${script}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX REPLACE "\n *" " " output "${output}")
  if(status EQUAL 0)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
  set(last_output "${output}" PARENT_SCOPE)
endfunction()

# Fails unless the last check refused `what` with a message matching `why`.
function(refused passed what why)
  if(passed)
    message(FATAL_ERROR "the check passes ${what}")
  elseif(NOT last_output MATCHES "${why}")
    message(FATAL_ERROR "the check refuses ${what}, but not for \"${why}\": ${last_output}")
  endif()
  message(STATUS "refused, ${what}: ${last_output}")
endfunction()

# A package of `dll`, `readme` and the build's LICENSE, with a record of the
# tests having passed with TESTED, and SHA256SUMS their sums after PREFIX,
# each line ending in EOL; with LINK the DLL a link to `dll`; with
# DUPLICATE a bogus zelextensions.dll before the real one; with the files
# after ENTRIES under the paths given. Whether the package check passes it,
# in `out`.
function(package out dll readme)
  cmake_parse_arguments(PARSE_ARGV 3 "" "LINK;DUPLICATE" "TESTED;PREFIX;EOL" "ENTRIES")
  set(name zelextensions-${VERSION}-broken)
  set(folder ${WORK}/package/${name})
  file(REMOVE_RECURSE ${WORK}/package)
  file(MAKE_DIRECTORY ${folder})
  file(COPY_FILE ${dll} ${folder}/zelextensions.dll)
  file(COPY_FILE ${readme} ${folder}/README.txt)
  file(COPY_FILE ${LICENSE} ${folder}/LICENSE.txt)
  if(NOT DEFINED _EOL)
    set(_EOL "\n")
  endif()
  set(sums "${_PREFIX}")
  foreach(file zelextensions.dll README.txt LICENSE.txt)
    file(SHA256 ${folder}/${file} sum)
    string(APPEND sums "${sum}  ${file}${_EOL}")
  endforeach()
  file(WRITE ${folder}/SHA256SUMS "${sums}")
  if(_LINK)
    file(REMOVE ${folder}/zelextensions.dll)
    file(CREATE_LINK ${dll} ${folder}/zelextensions.dll SYMBOLIC)
  endif()
  if(_DUPLICATE)
    file(COPY_FILE ${LICENSE} ${folder}/zelextensions.dlx)
    list(APPEND _ENTRIES ${name}/zelextensions.dlx)
  endif()
  if(NOT _TESTED)
    set(_TESTED ${dll})
  endif()
  file(SHA256 ${_TESTED} sum)
  file(WRITE ${WORK}/record.sha256 "${sum}\n")
  set(zip ${WORK}/${name}.zip)
  file(REMOVE ${zip})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${_ENTRIES} ${name}/zelextensions.dll
                  ${name}/README.txt ${name}/LICENSE.txt ${name}/SHA256SUMS
                  WORKING_DIRECTORY ${WORK}/package COMMAND_ERROR_IS_FATAL ANY)
  if(_DUPLICATE)
    # Its name in the entry's header and in the zip's directory.
    string(HEX "zelextensions.dlx" bogus)
    find_bytes(first ${zip} ${bogus})
    find_bytes(last ${zip} ${bogus} REVERSE)
    patch(${zip} "${first} + 16" 6c)
    patch(${zip} "${last} + 16" 6c)
  endif()
  passes(passed package.cmake -DCPACK_PACKAGE_FILES=${zip} -DCPACK_TOPLEVEL_DIRECTORY=${WORK} -DCPACK_ZEL_DLL=${dll}
    "-DCPACK_ZEL_FILES=${readme}\;${LICENSE}" -DCPACK_ZEL_RECORDS=${WORK}/record.sha256 -DCPACK_ZEL_BITS=${BITS}
    -DCPACK_ZEL_READOBJ=${READOBJ} -DCPACK_ZEL_WINDRES=${WINDRES} -DCPACK_ZEL_VERSION_RC=${VERSION_RC})
  set(${out} ${passed} PARENT_SCOPE)
  set(last_output "${last_output}" PARENT_SCOPE)
endfunction()

# The good copies pass.
passes(passed dll.cmake -DDLL=${good} ${readers})
if(NOT passed)
  message(FATAL_ERROR "the good DLL fails its check: ${last_output}")
endif()
package(passed ${good} ${README})
if(NOT passed)
  message(FATAL_ERROR "the good package fails its check: ${last_output}")
endif()

# A copy of the good DLL, changed by the command after `why` (with BROKEN
# for the copy) or with each "offset=bytes" after it written into it, must
# be refused for `why`.
function(dll_breakage what why)
  set(broken ${WORK}/broken.dll)
  file(COPY_FILE ${good} ${broken})
  if(ARGV2 MATCHES "=")
    foreach(change IN LISTS ARGN)
      string(REPLACE "=" ";" change "${change}")
      list(GET change 0 at)
      list(GET change 1 bytes)
      patch(${broken} ${at} ${bytes})
    endforeach()
  elseif(ARGN)
    list(TRANSFORM ARGN REPLACE "^BROKEN$" ${broken})
    execute_process(COMMAND ${ARGN} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  passes(passed dll.cmake -DDLL=${broken} ${readers})
  refused(${passed} "a DLL with ${what}" "${why}")
endfunction()

# Where the breakages go, from what llvm-readobj reads of the good DLL: the
# data directories and the export table.
execute_process(COMMAND ${READOBJ} --file-headers --sections ${good} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
foreach(key AddressOfNewExeHeader ExportTableRVA)
  string(REGEX MATCH "${key}: ([0-9A-Fx]+)" found "${dump}")
  math(EXPR ${key} "${CMAKE_MATCH_1}")
endforeach()
# The file offset of the address `rva`, in `out`.
function(file_offset out rva)
  string(REGEX MATCHALL "VirtualAddress: [^\n]+\n *RawDataSize: [^\n]+\n *PointerToRawData: [^\n]+" sections "${dump}")
  foreach(section IN LISTS sections)
    string(REGEX MATCH "VirtualAddress: ([^\n]+)\n *RawDataSize: ([^\n]+)\n *PointerToRawData: ([^\n]+)" found "${section}")
    math(EXPR start "${CMAKE_MATCH_1}")
    math(EXPR end "${start} + ${CMAKE_MATCH_2}")
    if(rva GREATER_EQUAL start AND rva LESS end)
      math(EXPR at "${rva} - ${start} + ${CMAKE_MATCH_3}")
      set(${out} ${at} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${good}: the address ${rva} lies in no section")
endfunction()
math(EXPR directories "${AddressOfNewExeHeader} + 24 + 96 + 16 * (${BITS} / 8)")
file_offset(exports ${ExportTableRVA})
number(functions "${exports} + 20")
le32(one_more "${functions} + 1")
number(addresses "${exports} + 28")
number(ordinals "${exports} + 36")
file_offset(addresses ${addresses})
file_offset(ordinals ${ordinals})
number(first_named ${ordinals})
math(EXPR first_named "${addresses} + 4 * (${first_named} & 0xFFFF)")
le32(export_table ${ExportTableRVA})
string(HEX "FileVersion" key)
string(HEX "${VERSION}" value)
foreach(text key value)
  string(REGEX REPLACE "(..)" "\\100" ${text} "${${text}}")
endforeach()
string(REGEX MATCH "${key}0000(0000)?${value}" version_text "${image}")
find_bytes(version_at ${good} "${version_text}")
string(LENGTH "${version_text}" length)
math(EXPR version_end "${version_at} + ${length} / 2")
file(SIZE ${good} size)
math(EXPR cut "${size} - 256")

dll_breakage("the version text ${VERSION}1, longer than the binary version" "resource" "${version_end}=3100")
dll_breakage("the version texts of a forger" "version resource" ${CMAKE_COMMAND} -E copy ${FORGED} BROKEN)
dll_breakage("a section both writable and executable" "both writable and executable"
  ${OBJCOPY} --set-section-flags .rsrc=code BROKEN)
dll_breakage("a shared section" "IMAGE_SCN_MEM_SHARED" ${OBJCOPY} --set-section-flags .text=code,readonly,share BROKEN)
dll_breakage("no base relocations" "no base relocations" "${directories} + 40=0000000000000000")
dll_breakage("an export by ordinal alone" "by ordinal alone" "${exports} + 20=${one_more}")
dll_breakage("an export forwarded" "forwarded or outside its code" "${first_named}=${export_table}")
dll_breakage("the text of a file" "is not a readable PE file" ${CMAKE_COMMAND} -E copy ${LICENSE} BROKEN)
dll_breakage("its last 256 bytes cut" "ends past the file" truncate -s ${cut} BROKEN)

# A package made with `what` must be refused for `why`.
function(package_breakage what why)
  package(passed ${ARGN})
  refused(${passed} "a package with ${what}" "${why}")
endfunction()

string(ASCII 239 187 191 bom)
string(ASCII 1 control)
file(READ ${README} readme)
string(REPLACE " ${size} bytes" " ${cut} bytes" readme "${readme}")
file(WRITE ${WORK}/README.txt "${readme}")
file(WRITE ${WORK}/outside.txt "outside\n")
set(sums "SHA256SUMS is not byte for byte")
package_breakage("a byte-order mark before SHA256SUMS" "${sums}" ${good} ${README} PREFIX "${bom}")
package_breakage("a control byte before SHA256SUMS' first line" "${sums}" ${good} ${README} PREFIX "${control}\n")
package_breakage("SHA256SUMS' lines ending in CRLF" "${sums}" ${good} ${README} EOL "\r\n")
package_breakage("a DLL that no test passed with" "has not passed|not the one that" ${good} ${README} TESTED ${LICENSE})
package_breakage("a wrong size in README.txt" "the DLL's size" ${good} ${WORK}/README.txt)
package_breakage("an entry that leaves its folder" "lists" ${good} ${README}
  ENTRIES zelextensions-${VERSION}-broken/../../outside.txt)
package_breakage("the DLL a link to the build's" "no regular file" ${good} ${README} LINK)
package_breakage("a bogus DLL before the real one" "lists" ${good} ${README} DUPLICATE)
