# 32-bit Windows with the MSVC ABI and command line, from Debian's LLVM:
# clang-cl, lld-link, llvm-rc and llvm-dlltool, with the programs it builds
# run under 32-bit Wine. No MSVC headers or libraries exist here, so this
# toolchain builds the library alone; the stand-in host comes from MinGW
# (ZEL_HOST_TOOLCHAIN).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER clang-cl-14)
set(CMAKE_CXX_COMPILER clang-cl-14)
set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_LINKER lld-link-14)
set(CMAKE_AR llvm-lib-14)
set(CMAKE_RC_COMPILER llvm-rc-14)
set(CMAKE_MT llvm-mt-14)
# llvm-lib 14 cannot make an import library from a .def; llvm-dlltool can.
set(CMAKE_DLLTOOL llvm-dlltool-14)
# Without the MSVC libraries no program links: the compiler checks build a
# static library instead, and nothing links the Windows SDK's libraries.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "")
set(ZEL_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
