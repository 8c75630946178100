# Runs the programs that a Windows toolchain builds under Wine (ZEL_WINE:
# wine for 32-bit, wine64 for 64-bit), where it is installed.
find_program(ZEL_WINE_PATH ${ZEL_WINE} PATHS /usr/lib/wine)
if(ZEL_WINE_PATH)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEL_WINE_PATH})
endif()
