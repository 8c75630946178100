# 32-bit Windows with MinGW-w64 on Windows itself, MSYS2's mingw32 first on
# the PATH: the stand-ins that a Visual Studio build of the library is
# tested beside, run by the Windows loader itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_RC_COMPILER windres)
