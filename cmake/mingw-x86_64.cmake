# 64-bit Windows: the fast runs under Wine.
set(ZEL_MINGW_ARCH x86_64)
set(ZEL_WINE wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
