# The Windows tests: the DLL itself, its checks' refusals, and, where this build has the stand-in
# host, a tools.dll without ZELSetString that zelhost.exe must refuse. Every
# program runs under Wine, with its prefix in the build folder.
add_test(NAME library.dll COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:zelextensions>
  -DBITS=${CMAKE_SIZEOF_VOID_P} -DVERSION=${PROJECT_VERSION} -P ${CMAKE_CURRENT_SOURCE_DIR}/dll.cmake)
# Each check of the release still refuses each breakage it guards against.
add_test(NAME release.breakages COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:zelextensions>
  -DREADME=${PROJECT_BINARY_DIR}/release/README.txt -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE
  -DBITS=${CMAKE_SIZEOF_VOID_P} -DVERSION=${PROJECT_VERSION} -DWORK=${CMAKE_CURRENT_BINARY_DIR}/breakages
  -P ${CMAKE_CURRENT_SOURCE_DIR}/breakages.cmake)

if(TARGET tools_lacking)
  # A folder whose tools.dll lacks ZELSetString, with zelhost.exe and
  # zelextensions.dll beside it.
  set(lacking ${CMAKE_CURRENT_BINARY_DIR}/lacking)
  set_target_properties(tools_lacking PROPERTIES ARCHIVE_OUTPUT_DIRECTORY ${lacking})
  target_link_options(tools_lacking PRIVATE
    -Wl,--exclude-libs,libgcc_eh.a:libpthread.a:libwinpthread.a -Wl,--exclude-symbols,ZELSetString:ZELSetString@4)
  add_custom_target(lacking_programs ALL
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:zelhost> $<TARGET_FILE:zelextensions> ${lacking}
    DEPENDS tools_lacking zelhost zelextensions)
  add_run_test(zelhost.lacking 2 ""
    "zelhost: cannot load \"[^\n]*zelextensions.dll\": tools.dll does not export ZELSetString\n"
    ${lacking}/$<TARGET_FILE_NAME:zelhost> FormatasTime(1))
endif()

# A file that is no DLL: the message names it, with no insert of Windows'
# left in. The loader's code is the same at 32 bits; 64-bit Wine runs it in
# a second.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  file(CONFIGURE OUTPUT not_a.dll CONTENT "This is no DLL.\n")
  add_run_test(zelhost.not_a_dll 2 "" "zelhost: cannot load \"[^\n]*not_a.dll\": [^%\n]+\n"
    $<TARGET_FILE:zelhost> --library ${CMAKE_CURRENT_BINARY_DIR}/not_a.dll --list)
endif()

# The prefix made first, by wine64, so that Wine's messages on making it
# reach no test. The presets share one among their builds.
set(ZEL_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine CACHE PATH "The Wine prefix the tests run in")
get_property(tests DIRECTORY PROPERTY TESTS)
set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED wine)
add_test(NAME wine.prefix COMMAND $<IF:$<BOOL:${ZEL_WINE64_PATH}>,${ZEL_WINE64_PATH},${CMAKE_CROSSCOMPILING_EMULATOR}> wineboot)
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine.prefix ${tests} PROPERTIES ENVIRONMENT "WINEPREFIX=${ZEL_WINE_PREFIX};WINEDEBUG=-all")
