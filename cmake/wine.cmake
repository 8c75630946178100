# Runs the programs that a Windows toolchain builds under Wine (ZEL_WINE:
# wine for 32-bit, wine64 for 64-bit), where it is installed. wine64 makes
# the prefix, which then runs 32-bit programs too, so that every Windows
# build can share one: making a prefix takes minutes where 32-bit code is
# emulated.
find_program(ZEL_WINE_PATH ${ZEL_WINE} PATHS /usr/lib/wine)
find_program(ZEL_WINE64_PATH wine64 PATHS /usr/lib/wine)
find_program(ZEL_WINESERVER wineserver PATHS /usr/lib/wine)
if(ZEL_WINE_PATH)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEL_WINE_PATH})
endif()
