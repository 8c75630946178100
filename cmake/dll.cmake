# How the extension library becomes a Windows DLL: runtime-free, with its
# export list made from include/zelfunctions.h, its version resource, and
# its imports bound by name to the host's tools.dll.

# A Windows DLL of the library's code alone: no C or C++ runtime, no entry
# point, no link time in the file, and on 32-bit no exception handlers
# (NO_SEH) and the thunks through which it calls the host operations of
# either calling convention. The exports are named by the export list that
# the build makes from include/zelfunctions.h.
function(zel_runtime_free_dll target)
  if(MSVC)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/fltused.cpp)
    target_link_options(${target} PRIVATE /NODEFAULTLIB /NOENTRY /Brepro /MANIFEST:NO)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/thunks_msvc.cpp)
      target_link_options(${target} PRIVATE /SAFESEH)
    endif()
  else()
    target_link_options(${target} PRIVATE -nostdlib -Wl,-e,0 -s)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/thunks_gnu.cpp)
      target_link_options(${target} PRIVATE -Wl,--no-seh)
    endif()
  endif()
endfunction()

# Makes `target`, a MODULE of the library's code, the Windows DLL: with the
# version resource `rc`, the exports under their plain names for the GNU and
# the MSVC linker alike (OnInit and the listed functions), no runtime, and
# the host's operations imported from tools.dll.
function(zel_dll target rc)
  list(JOIN ZEL_FUNCTIONS "\n    " exports)
  set(def ${PROJECT_BINARY_DIR}/zelextensions.def)
  file(CONFIGURE OUTPUT ${def} CONTENT "LIBRARY zelextensions.dll\nEXPORTS\n    OnInit\n    ${exports}\n")
  target_sources(${target} PRIVATE ${rc} ${def})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/include)
  zel_library_code(${target})
  zel_warnings(${target})
  zel_runtime_free_dll(${target})
  zel_import_tools(${target})
endfunction()

# Compiles the resource script `rc` into the resource file `res`, as the
# build's resource compiler (windres, llvm-rc or rc) makes it for the linker.
function(zel_version_res rc res)
  # By their names from the build folder: rc and llvm-rc take an argument
  # that starts with a slash for an option, so /ci/... would be a code page.
  file(RELATIVE_PATH in ${CMAKE_CURRENT_BINARY_DIR} ${rc})
  file(RELATIVE_PATH out ${CMAKE_CURRENT_BINARY_DIR} ${res})
  if(MSVC)
    set(command ${CMAKE_RC_COMPILER} /FO ${out} ${in})
  else()
    set(command ${CMAKE_RC_COMPILER} -O res -i ${in} -o ${out})
  endif()
  add_custom_command(OUTPUT ${res} COMMAND ${command} DEPENDS ${rc}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} VERBATIM)
  add_custom_target(version_res ALL DEPENDS ${res})
endfunction()

# Binds `target` by name to the host's tools.dll, through an import library
# that the toolchain's librarian, dlltool (binutils' or LLVM's) or lib, makes
# from our own list of its operations, include/tools.def: no file of the real
# host is needed. On 32-bit the thunks call each operation through its
# import-table entry, so the list is made one of DATA imports: the entries
# alone, with no code stub under the operation's name.
function(zel_import_tools target)
  set(output ${PROJECT_BINARY_DIR}/tools_imports.lib)
  set(def ${PROJECT_SOURCE_DIR}/include/tools.def)
  set(x86 $<EQUAL:${CMAKE_SIZEOF_VOID_P},4>)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    file(READ ${def} text)
    string(REGEX REPLACE "\n    ([A-Za-z]+)" "\n    \\1 DATA" text "${text}")
    set(def ${PROJECT_BINARY_DIR}/tools.def)
    file(WRITE ${def} "${text}")
  endif()
  if(CMAKE_DLLTOOL)
    set(command ${CMAKE_DLLTOOL} -m $<IF:${x86},i386,i386:x86-64> -d ${def} -l ${output})
  else()
    set(command ${CMAKE_AR} /nologo /def:${def} /machine:$<IF:${x86},X86,X64> /out:${output})
  endif()
  if(NOT TARGET tools_imports)
    add_custom_command(OUTPUT ${output} COMMAND ${command} DEPENDS ${def})
    add_custom_target(tools_imports DEPENDS ${output})
  endif()
  add_dependencies(${target} tools_imports)
  target_link_libraries(${target} PRIVATE ${output})
endfunction()
