# The Windows tests: what the DLL exports, imports and carries, and a
# tools.dll without ZELSetString that zelhost.exe must refuse. Every program
# runs under Wine, with its prefix in the build folder.
add_test(NAME library.dll COMMAND ${CMAKE_COMMAND} -DCHECK=dll -DOBJDUMP=${CMAKE_OBJDUMP}
  -DDLL=$<TARGET_FILE:zelextensions> -DBITS=${CMAKE_SIZEOF_VOID_P} -DVERSION=${PROJECT_VERSION} -P ${artifact_check})

# A folder whose tools.dll lacks ZELSetString, with zelhost.exe and
# zelextensions.dll beside it.
set(lacking ${CMAKE_CURRENT_BINARY_DIR}/lacking)
add_library(tools_lacking SHARED ${PROJECT_SOURCE_DIR}/host/tools.cpp)
target_include_directories(tools_lacking PRIVATE ${PROJECT_SOURCE_DIR}/include)
set_target_properties(tools_lacking PROPERTIES OUTPUT_NAME tools RUNTIME_OUTPUT_DIRECTORY ${lacking}
  ARCHIVE_OUTPUT_DIRECTORY ${lacking})
target_link_options(tools_lacking PRIVATE
  -Wl,--exclude-libs,libgcc_eh.a:libpthread.a:libwinpthread.a -Wl,--exclude-symbols,ZELSetString:ZELSetString@4)
add_custom_target(lacking_programs ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:zelhost> $<TARGET_FILE:zelextensions> ${lacking}
  DEPENDS tools_lacking zelhost zelextensions)
add_test(NAME zelhost.lacking COMMAND ${CMAKE_COMMAND} -DCHECK=lacking "-DRUNNER=${CMAKE_CROSSCOMPILING_EMULATOR}"
  -DEXE=${lacking}/$<TARGET_FILE_NAME:zelhost> -P ${artifact_check})

get_property(tests DIRECTORY PROPERTY TESTS)
set_tests_properties(${tests} PROPERTIES RESOURCE_LOCK wine
  ENVIRONMENT "WINEPREFIX=${PROJECT_BINARY_DIR}/wine;WINEDEBUG=-all")
