# Cross-compiling for Windows with Debian's MinGW-w64, for the architecture
# that the toolchain file including this one names in ZEL_MINGW_ARCH, with
# the programs it builds run under Wine (ZEL_WINE). The posix thread model,
# so that the stand-in host's std::mutex and thread_local are there.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ZEL_MINGW_ARCH})
set(CMAKE_C_COMPILER ${ZEL_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEL_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${ZEL_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_DLLTOOL ${ZEL_MINGW_ARCH}-w64-mingw32-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${ZEL_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
