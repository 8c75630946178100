# 32-bit Windows with the MSVC ABI and command line, from Debian's LLVM of
# the version in llvm-version.txt: clang-cl, lld-link, llvm-rc and
# llvm-dlltool, with the programs it builds run under 32-bit Wine. No MSVC
# headers or libraries exist here, so this toolchain builds the library
# alone; the stand-in host comes from MinGW (ZEL_HOST_TOOLCHAIN).
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/llvm-version.txt llvm)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER clang-cl-${llvm})
set(CMAKE_CXX_COMPILER clang-cl-${llvm})
set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_LINKER lld-link-${llvm})
set(CMAKE_AR llvm-lib-${llvm})
set(CMAKE_RC_COMPILER llvm-rc-${llvm})
set(CMAKE_MT llvm-mt-${llvm})
# llvm-lib 14 cannot make an import library from a .def; llvm-dlltool can.
set(CMAKE_DLLTOOL llvm-dlltool-${llvm})
# Without the MSVC libraries no program links: the compiler checks build a
# static library instead, and nothing links the Windows SDK's libraries.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "")
set(ZEL_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
