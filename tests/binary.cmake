# The checks of a built library, run by CTest with cmake -P:
#   CHECK=so    LIBRARY, NM: exports exactly the three functions, imports
#               nothing but the five operations (and the C runtime's hooks)
#   CHECK=data  OBJDUMP, OBJECTS: nothing of the library's in writable data
#   CHECK=dll   DLL, OBJDUMP, BITS, VERSION: a DLL of the library's code
#               alone, hardened, with its version resource (check_dll)
# package.cmake includes it for check_dll.
cmake_minimum_required(VERSION 3.25)

# Fails unless the list `names`, sorted, is the list `expected`.
function(expect what names expected)
  list(SORT names)
  if(NOT names STREQUAL expected)
    message(FATAL_ERROR "${what} ${names}, not exactly ${expected}")
  endif()
endfunction()

# `text` as the hexadecimal of its UTF-16LE bytes, as a version resource
# holds it, in `out`.
function(utf16_hex out text)
  string(HEX "${text}" hex)
  string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# The number in the little-endian 32-bit word at hexadecimal digit `at` of
# `hex`, in `out`.
function(word out hex at)
  string(SUBSTRING "${hex}" ${at} 8 w)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" w "${w}")
  math(EXPR w "0x${w}")
  set(${out} ${w} PARENT_SCOPE)
endfunction()

# DLL, read through objdump: a DLL of BITS-byte pointers that exports the
# three functions and imports the five operations from tools.dll and nothing
# else; no entry point, no TLS, no writable data but the import table;
# hardened; the version resource that VERSION gives; at most 5,120 bytes on
# 32-bit.
function(check_dll)
  execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${OBJDUMP} -h ${DLL} OUTPUT_VARIABLE sections COMMAND_ERROR_IS_FATAL ANY)
  if(BITS EQUAL 4)
    set(format pei-i386)
    set(flags "DYNAMIC_BASE;NX_COMPAT;NO_SEH")
  else()
    set(format pei-x86-64)
    set(flags "HIGH_ENTROPY_VA;DYNAMIC_BASE;NX_COMPAT")
  endif()
  if(NOT dump MATCHES "file format ${format}\n")
    message(FATAL_ERROR "${DLL} is not ${format}")
  endif()
  string(REGEX MATCH "\nCharacteristics[^\n]*\n(\t[^\n]+\n)*" characteristics "${dump}")
  if(NOT characteristics MATCHES "\tDLL\n")
    message(FATAL_ERROR "${DLL} is not marked a DLL:${characteristics}")
  endif()
  if(NOT dump MATCHES "\nAddressOfEntryPoint\t0+\n")
    message(FATAL_ERROR "${DLL} has an entry point")
  endif()
  string(REGEX MATCH "DllCharacteristics[^\n]*\n(\t+[A-Z_]+\n)*" characteristics "${dump}")
  foreach(flag IN LISTS flags)
    if(NOT characteristics MATCHES "\t${flag}\n")
      message(FATAL_ERROR "${DLL} lacks ${flag}:\n${characteristics}")
    endif()
  endforeach()

  # Exports and imports.
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" exports "${dump}")
  string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]*" exports "${exports}")
  list(TRANSFORM exports REPLACE "^\\[ *[0-9]+\\] " "")
  expect("${DLL} exports" "${exports}" "DateDiff;FormatasTime;OnInit")
  string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${dump}")
  expect("${DLL} imports from" "${dlls}" "DLL Name: tools.dll")
  # The entries under tools.dll, one "<address> <hint> <name>" a line.
  string(REGEX MATCH "DLL Name: tools.dll\n[^\n]*\n([^\n]+\n)*" tools "${dump}")
  string(REGEX MATCHALL "\n\t[0-9a-f]+\t +[0-9]+ +[^\n]+" names "${tools}")
  list(TRANSFORM names REPLACE "^.* " "")
  expect("${DLL} imports from tools.dll" "${names}" "AddFunctionCall;ZELGetDateTime;ZELGetSLong;ZELSetDouble;ZELSetString")

  # The data directories: base relocations to move it, no TLS.
  string(REGEX MATCH "\nImageBase\t+([0-9a-f]+)" image_base "${dump}")
  set(image_base 0x${CMAKE_MATCH_1})
  foreach(entry 2 5 9)
    string(REGEX MATCH "\nEntry ${entry} ([0-9a-f]+) ([0-9a-f]+) ([^\n]*)" line "${dump}")
    math(EXPR address_${entry} "0x${CMAKE_MATCH_1}")
    math(EXPR size_${entry} "0x${CMAKE_MATCH_2}")
    set(name_${entry} "${CMAKE_MATCH_3}")
  endforeach()
  if(address_5 EQUAL 0 OR size_5 EQUAL 0)
    message(FATAL_ERROR "${DLL} has no base relocations")
  endif()
  if(NOT address_9 EQUAL 0 OR NOT size_9 EQUAL 0)
    message(FATAL_ERROR "${DLL} has thread-local storage")
  endif()

  # Sections: " <index> <name> <size> <vma> <lma> <file offset> <align>" and
  # a line of flags. Nothing writable but what GNU ld marks writable whatever
  # its input says, and nothing of ours writes: the import table, which the
  # loader fills, and the resources.
  string(REGEX MATCHALL " [0-9]+ [^ \n]+ +[0-9a-f]+ +[0-9a-f]+ +[0-9a-f]+ +[0-9a-f]+ [^\n]*\n[^\n]*" sections
         "${sections}")
  foreach(section IN LISTS sections)
    string(REGEX MATCH "^ [0-9]+ ([^ ]+) +([0-9a-f]+) +([0-9a-f]+) +[0-9a-f]+ +([0-9a-f]+)" fields "${section}")
    set(name ${CMAKE_MATCH_1})
    set(start 0x${CMAKE_MATCH_3})
    set(offset 0x${CMAKE_MATCH_4})
    if(name MATCHES "^\\.(tls|CRT|data|bss)" OR (NOT section MATCHES "READONLY" AND NOT name MATCHES "^\\.(idata|rsrc)$"))
      message(FATAL_ERROR "${DLL} has writable data or a runtime's section:\n${section}")
    endif()
    if(name_2 MATCHES "\\[${name}\\]")
      math(EXPR resources "${offset} + ${address_2} - (${start} - ${image_base})")
    endif()
  endforeach()

  # The version resource, read where the resource directory says it is: the
  # numbers that Windows shows, in VS_FIXEDFILEINFO after its signature
  # FEEF04BD, and the texts, each a UTF-16 key, its padding and its value.
  if(NOT DEFINED resources OR size_2 EQUAL 0)
    message(FATAL_ERROR "${DLL} has no resource directory")
  endif()
  file(READ ${DLL} resource OFFSET ${resources} LIMIT ${size_2} HEX)
  string(FIND "${resource}" "bd04effe" at)
  if(at LESS 0)
    message(FATAL_ERROR "${DLL}: its resources hold no VS_FIXEDFILEINFO")
  endif()
  foreach(field file product)
    math(EXPR at "${at} + 16")
    word(high "${resource}" ${at})
    math(EXPR at "${at} + 8")
    word(low "${resource}" ${at})
    math(EXPR version "${high} >> 16")
    foreach(part "${high} & 0xFFFF" "${low} >> 16" "${low} & 0xFFFF")
      math(EXPR part "${part}")
      string(APPEND version ".${part}")
    endforeach()
    if(NOT version STREQUAL "${VERSION}.0")
      message(FATAL_ERROR "${DLL}: the binary ${field} version is ${version}, not ${VERSION}.0")
    endif()
    math(EXPR at "${at} - 8")
  endforeach()
  foreach(entry "FileVersion;${VERSION}" "ProductVersion;${VERSION}" "ProductName;zelextensions"
                "OriginalFilename;zelextensions.dll"
                "LegalCopyright;Copyright (c) 2026 the zelextensions authors. MIT licence."
                "FileDescription;Extension functions for the host's language")
    list(GET entry 0 key)
    list(GET entry 1 value)
    utf16_hex(key "${key}")
    utf16_hex(value "${value}")
    if(NOT resource MATCHES "${key}0000(0000)?${value}")
      message(FATAL_ERROR "${DLL}: the version resource lacks ${entry}")
    endif()
  endforeach()

  file(SIZE ${DLL} size)
  if(BITS EQUAL 4 AND size GREATER 5120)
    message(FATAL_ERROR "${DLL} is ${size} bytes, more than 5,120")
  endif()
endfunction()

if(CHECK STREQUAL "so")
  execute_process(COMMAND ${NM} -D --defined-only --format=just-symbols ${LIBRARY} OUTPUT_VARIABLE defined
                  COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[^\n]+" defined "${defined}")
  expect("${LIBRARY} defines" "${defined}" "DateDiff;FormatasTime;OnInit")
  execute_process(COMMAND ${NM} -D --undefined-only --format=just-symbols ${LIBRARY} OUTPUT_VARIABLE undefined
                  COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[^\n]+" undefined "${undefined}")
  # The C runtime's weak hooks for shared objects.
  list(REMOVE_ITEM undefined _ITM_deregisterTMCloneTable _ITM_registerTMCloneTable __cxa_finalize __gmon_start__)
  expect("${LIBRARY} imports" "${undefined}" "AddFunctionCall;ZELGetDateTime;ZELGetSLong;ZELSetDouble;ZELSetString")
elseif(CHECK STREQUAL "data")
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
elseif(CHECK STREQUAL "dll")
  check_dll()
endif()
