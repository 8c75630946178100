# The Windows and 32-bit layers, as tests of the native build: each builds
# its preset from this source tree, then checks what it built the way its
# target runs it. In CI (CI set) a missing tool fails the configure step;
# elsewhere the layers are left out, and the configure step says so.
find_program(ZEL_MINGW32 i686-w64-mingw32-g++-posix)
find_program(ZEL_MINGW64 x86_64-w64-mingw32-g++-posix)
find_program(ZEL_OBJDUMP32 i686-w64-mingw32-objdump)
find_program(ZEL_OBJDUMP64 x86_64-w64-mingw32-objdump)
find_program(ZEL_WINE wine)
find_program(ZEL_WINE64 wine64 PATHS /usr/lib/wine)
find_file(ZEL_GTEST_SOURCE_TREE CMakeLists.txt PATHS /usr/src/googletest NO_DEFAULT_PATH)
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS -m32)
set(CMAKE_REQUIRED_LINK_OPTIONS -m32)
check_cxx_source_compiles("#include <string>\nint main() { return static_cast<int>(std::string().size()); }" ZEL_HAS_M32)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)

set(missing "")
foreach(var ZEL_MINGW32 ZEL_MINGW64 ZEL_OBJDUMP32 ZEL_OBJDUMP64 ZEL_WINE ZEL_WINE64 ZEL_GTEST_SOURCE_TREE ZEL_HAS_M32)
  if(NOT ${var})
    list(APPEND missing ${var})
  endif()
endforeach()
if(missing)
  set(why "Windows and 32-bit test layers left out: not found: ${missing} (.ci/run installs them)")
  if(DEFINED ENV{CI})
    message(FATAL_ERROR "${why}")
  endif()
  message(WARNING "${why}")
  return()
endif()

set(check ${CMAKE_COMMAND} -DBATCH=${CMAKE_CURRENT_SOURCE_DIR}/batch.txt -P ${CMAKE_CURRENT_SOURCE_DIR}/artifact_check.cmake)
set(build ${PROJECT_SOURCE_DIR}/build)

foreach(preset win32 win64)
  add_test(NAME ${preset}.build COMMAND ${CMAKE_COMMAND} --workflow --preset ${preset}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  set_tests_properties(${preset}.build PROPERTIES FIXTURES_SETUP ${preset} LABELS windows)
endforeach()

add_test(NAME win32.dll COMMAND ${CMAKE_COMMAND} -DCHECK=dll -DOBJDUMP=${ZEL_OBJDUMP32}
  -DDLL=${build}/win32/zelextensions.dll -DFORMAT=pei-i386 -P ${CMAKE_CURRENT_SOURCE_DIR}/artifact_check.cmake)
add_test(NAME win64.dll COMMAND ${CMAKE_COMMAND} -DCHECK=dll -DOBJDUMP=${ZEL_OBJDUMP64}
  -DDLL=${build}/win64/zelextensions.dll -DFORMAT=pei-x86-64 -P ${CMAKE_CURRENT_SOURCE_DIR}/artifact_check.cmake)
# One Wine process over the whole batch: a 32-bit one may be emulated, and slow.
add_test(NAME win32.run COMMAND ${CMAKE_COMMAND} -DCHECK=compare -DRUNNER=${ZEL_WINE}
  -DEXE=${build}/win32/zelhost.exe -DNATIVE=$<TARGET_FILE:zelhost> ${check})
add_test(NAME win64.run COMMAND ${CMAKE_COMMAND} -DCHECK=compare -DRUNNER=${ZEL_WINE64}
  -DEXE=${build}/win64/zelhost.exe -DNATIVE=$<TARGET_FILE:zelhost> ${check})
add_test(NAME win64.lacking COMMAND ${CMAKE_COMMAND} -DCHECK=lacking -DRUNNER=${ZEL_WINE64}
  -DEXE=${build}/win64/lacking/zelhost.exe ${check})
foreach(preset win32 win64)
  set_tests_properties(${preset}.dll ${preset}.run PROPERTIES FIXTURES_REQUIRED ${preset} LABELS windows)
  # The Wine prefix lives in the build folder.
  set_tests_properties(${preset}.run PROPERTIES TIMEOUT 1800
    ENVIRONMENT "WINEPREFIX=${build}/${preset}/wine;WINEDEBUG=-all")
endforeach()
set_tests_properties(win64.lacking PROPERTIES FIXTURES_REQUIRED win64 LABELS windows
  ENVIRONMENT "WINEPREFIX=${build}/win64/wine;WINEDEBUG=-all" RESOURCE_LOCK win64.wine)
set_tests_properties(win64.run PROPERTIES RESOURCE_LOCK win64.wine)

# The whole native suite again, built and run as 32-bit x86 code.
add_test(NAME linux32.suite COMMAND ${CMAKE_COMMAND} --workflow --preset linux32 WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(linux32.suite PROPERTIES LABELS linux32 TIMEOUT 1800)
