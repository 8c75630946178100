# The DLL check, run by CTest with cmake -P and by the package check: DLL,
# as the toolchain's readers give it (READOBJ, llvm-readobj, for its headers;
# WINDRES, binutils' windres, for its version resource), is a Windows DLL for
# BITS-byte pointers that holds the library's code alone:
# - it exports exactly OnInit and the listed functions, each by name, at an
#   address in an executable section, none forwarded;
# - it imports exactly the five operations from tools.dll, each by name,
#   none delayed;
# - no entry point, no thread-local storage, no symbol table; only the
#   sections that the linkers make of the library's code and data, each
#   inside the file and the image; nothing writable but the import table
#   and the resources (GNU ld marks both writable whatever its input says),
#   nothing shared, nothing both writable and executable;
# - DYNAMIC_BASE and NX_COMPAT, NO_SEH on 32-bit and HIGH_ENTROPY_VA on
#   64-bit; base relocations, of absolute addresses only, not stripped;
# - exactly the version resource of VERSION_RC, the build's version.rc:
#   the binary versions and every text, each under its own key.
# That the relocations are complete is not read here: every cases test runs
# the DLL moved away from its base, and a package holds only a DLL that they
# passed with (the package check).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/expect.cmake)

function(refuse why)
  message(FATAL_ERROR "${DLL}: ${why}")
endfunction()

execute_process(COMMAND ${READOBJ} --file-headers --sections --coff-exports --coff-imports --coff-basereloc ${DLL}
                RESULT_VARIABLE status OUTPUT_VARIABLE dump ERROR_VARIABLE error)
string(REGEX REPLACE "^.*error: '[^']*': |\n+$" "" error "${error}")
if(NOT status EQUAL 0 OR NOT dump MATCHES "\nImageOptionalHeader {")
  if(status EQUAL 0)
    set(error "it has no image header")
  endif()
  message(FATAL_ERROR "${DLL} is not a readable PE file: ${error}")
endif()

# `key`'s value as the reader gives it first, in `out`.
function(field out key)
  if(NOT dump MATCHES "\n *${key}: ([^\n]*)")
    refuse("the reader gives no ${key}")
  endif()
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

if(BITS EQUAL 4)
  set(kind "IMAGE_FILE_MACHINE_I386 0x10B")
  set(flags IMAGE_FILE_DLL IMAGE_DLL_CHARACTERISTICS_DYNAMIC_BASE IMAGE_DLL_CHARACTERISTICS_NX_COMPAT
            IMAGE_DLL_CHARACTERISTICS_NO_SEH)
  set(fixup HIGHLOW)
else()
  set(kind "IMAGE_FILE_MACHINE_AMD64 0x20B")
  set(flags IMAGE_FILE_DLL IMAGE_DLL_CHARACTERISTICS_DYNAMIC_BASE IMAGE_DLL_CHARACTERISTICS_NX_COMPAT
            IMAGE_DLL_CHARACTERISTICS_HIGH_ENTROPY_VA)
  set(fixup DIR64)
endif()
field(machine Machine)
field(magic Magic)
string(REGEX REPLACE " .*" "" machine "${machine}")
if(NOT "${machine} ${magic}" STREQUAL kind)
  refuse("not a ${BITS}-byte Windows image: ${machine} ${magic}")
endif()
foreach(flag IN LISTS flags)
  if(NOT dump MATCHES "\n *${flag} \\(")
    refuse("lacks ${flag}")
  endif()
endforeach()
foreach(flag IMAGE_FILE_RELOCS_STRIPPED IMAGE_SCN_MEM_SHARED)
  if(dump MATCHES "\n *${flag} \\(")
    refuse("has ${flag}")
  endif()
endforeach()
foreach(zero AddressOfEntryPoint TLSTableRVA TLSTableSize DelayImportDescriptorRVA SymbolCount)
  field(value ${zero})
  if(NOT value MATCHES "^0(x0)?$")
    refuse("has ${zero} ${value}, not none")
  endif()
endforeach()
field(directories NumberOfRvaAndSize)
field(image_size SizeOfImage)
field(export_table ExportTableRVA)
field(export_size ExportTableSize)
math(EXPR export_table "${export_table}")
math(EXPR export_end "${export_table} + ${export_size}")

# Sections: by name, what the linkers make of code and read-only data,
# exports, imports, resources, relocations and 64-bit unwind tables.
file(SIZE ${DLL} file_size)
set(code "")
string(REGEX MATCHALL "\n  Section {\n[^}]*\n  }" sections "${dump}")
foreach(section IN LISTS sections)
  string(REGEX MATCH "Name: ([^\n]*) \\(" name "${section}")
  set(name "${CMAKE_MATCH_1}")
  foreach(key VirtualAddress VirtualSize PointerToRawData RawDataSize)
    string(REGEX MATCH "${key}: ([0-9A-Fx]+)" value "${section}")
    set(${key} ${CMAKE_MATCH_1})
  endforeach()
  math(EXPR raw_end "${PointerToRawData} + ${RawDataSize}")
  math(EXPR end "${VirtualAddress} + ${VirtualSize}")
  set(writable FALSE)
  set(executable FALSE)
  if(section MATCHES "IMAGE_SCN_MEM_WRITE")
    set(writable TRUE)
  endif()
  if(section MATCHES "IMAGE_SCN_MEM_EXECUTE")
    set(executable TRUE)
    math(EXPR first "${VirtualAddress}")
    list(APPEND code "${first}:${end}")
  endif()
  if(NOT name MATCHES "^\\.(text|rdata|edata|idata|rsrc|reloc|pdata|xdata)$")
    refuse("has a section of another kind than the library's code and data: ${name}")
  elseif(writable AND executable)
    refuse("its section ${name} is both writable and executable")
  elseif(writable AND NOT name MATCHES "^\\.(idata|rsrc)$")
    refuse("has writable data: its section ${name}")
  elseif(section MATCHES "IMAGE_SCN_CNT_CODE" AND NOT executable)
    refuse("its section ${name} holds code but is not executable")
  elseif(raw_end GREATER file_size OR end GREATER image_size)
    refuse("its section ${name} ends past the file (${file_size} bytes) or the image (${image_size})")
  endif()
endforeach()
if(NOT directories EQUAL 16)
  refuse("has ${directories} data directories, not 16")
endif()

# Exports: each by name, at an address in an executable section (one in the
# export table itself is forwarded to another DLL).
set(exported "")
string(REGEX MATCHALL "\nExport {\n[^}]*\n}" exports "${dump}")
foreach(export IN LISTS exports)
  string(REGEX MATCH "Name: ([^\n]*)\n *RVA: (0x[0-9A-F]+)" found "${export}")
  set(name "${CMAKE_MATCH_1}")
  set(at ${CMAKE_MATCH_2})
  if(name STREQUAL "" AND at STREQUAL "0x0")
    continue()  # a slot of the table that exports nothing
  elseif(name STREQUAL "")
    refuse("exports a function by ordinal alone: ${export}")
  endif()
  math(EXPR address "${at}")
  set(in_code FALSE)
  foreach(range IN LISTS code)
    string(REPLACE ":" ";" range "${range}")
    list(GET range 0 first)
    list(GET range 1 end)
    if(address GREATER_EQUAL first AND address LESS end)
      set(in_code TRUE)
    endif()
  endforeach()
  if(NOT in_code OR (address GREATER_EQUAL export_table AND address LESS export_end))
    refuse("exports ${name} at ${at}, forwarded or outside its code")
  endif()
  list(APPEND exported "${name}")
endforeach()
zel_functions(functions)
expect("${DLL} exports" "${exported}" "OnInit;${functions}")

# Imports: from tools.dll alone, each by name.
string(REGEX MATCHALL "\nImport {\n[^}]*\n}" imports "${dump}")
string(REGEX MATCHALL "\n  Name: [^\n]*" dlls "${imports}")
expect("${DLL} imports from" "${dlls}" "\n  Name: tools.dll")
string(REGEX MATCHALL "\n  Symbol: [^\n]* \\(" symbols "${imports}")
string(REGEX REPLACE "\n  Symbol: ([^;]*) \\(" "\\1" imported "${symbols}")
expect("${DLL} imports from tools.dll" "${imported}" "AddFunctionCall;ZELGetDateTime;ZELGetSLong;ZELSetDouble;ZELSetString")

# Base relocations: some, each of an absolute address or the padding of a
# block.
string(REGEX MATCHALL "\n    Type: [^\n]*" types "${dump}")
list(REMOVE_DUPLICATES types)
list(REMOVE_ITEM types "\n    Type: ABSOLUTE")
if(NOT types STREQUAL "\n    Type: ${fixup}")
  refuse("has no base relocations of ${fixup} alone:${types}")
endif()

# The version resource, as windres decompiles it, holds exactly the binary
# versions and the texts of the build's version.rc, each text read whole
# under its own key.
execute_process(COMMAND ${WINDRES} --input-format=coff --output-format=rc -i ${DLL} RESULT_VARIABLE status
                OUTPUT_VARIABLE resources ERROR_VARIABLE error)
if(NOT status EQUAL 0)
  refuse("its resources cannot be read: ${error}")
endif()
file(READ ${VERSION_RC} source)
foreach(text resources source)
  string(REGEX MATCHALL "\n *(FILEVERSION|PRODUCTVERSION) [0-9, ]+|\n *VALUE \"[^\"\n]*\", \"[^\"\n]*\"" held "${${text}}")
  string(REGEX REPLACE "\n *" "" held "${held}")
  string(REGEX REPLACE "(VERSION|[0-9],) +" "\\1" ${text} "${held}")
endforeach()
expect("${DLL} has the version resource" "${resources}" "${source}")
