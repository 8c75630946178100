# What differs between the two families of compilers the project builds
# with: GNU-like (GCC, clang) and MSVC-like (cl, clang-cl), and what the
# Windows target asks of every program and library.

# Every target of the project builds warning-free at this level.
function(zel_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion -Werror)
  endif()
endfunction()

# The library's code: no exceptions, no run-time type information, no stack
# cookies (the runtime that checks them is not linked). On 32-bit x86, SSE2
# division, so that DateDiff's quotient does not depend on the x87 precision
# that the host may have set; no DWARF unwind tables, which nothing there
# reads; and only the 4-byte stack alignment that 32-bit Windows promises at
# a call (an MSVC-like compiler assumes no more), so that no local that the
# compiler believes 16-byte aligned faults under a host built by MSVC.
function(zel_library_code target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /GR- /EHs-c- /GS-)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_compile_options(${target} PRIVATE /arch:SSE2)
    endif()
  else()
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_compile_options(${target} PRIVATE -msse2 -mfpmath=sse -fno-asynchronous-unwind-tables
        $<IF:$<CXX_COMPILER_ID:GNU>,-mincoming-stack-boundary=2,-mstack-alignment=4>)
    endif()
  endif()
endfunction()

# Windows: DLLs and modules without a "lib" prefix, and resources. The
# stand-in's programs carry their compiler's runtime, so that they load on a
# clean Windows with nothing but tools.dll beside them; and no link time in
# any file, so that a build can be repeated byte for byte.
if(WIN32)
  enable_language(RC)
  set(CMAKE_SHARED_MODULE_PREFIX "")
  set(CMAKE_SHARED_LIBRARY_PREFIX "")
  if(MSVC)
    set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)
  else()
    add_link_options(-static -Wl,--no-insert-timestamp)
  endif()
endif()
