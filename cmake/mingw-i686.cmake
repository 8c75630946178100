# 32-bit Windows: the artifact.
set(ZEL_MINGW_ARCH i686)
set(ZEL_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
