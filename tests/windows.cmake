# The Windows tests (tests/CMakeLists.txt has those of every build): the
# DLL itself, its checks' refusals, the breaches that the stand-in must
# report, and tools.dll files that no extension loads against. Every program
# runs under Wine, with its prefix in the build folder, or on Windows itself.

# The DLL check, and each check of the release still refusing each breakage
# it guards against.
add_test(NAME library.dll COMMAND ${ZEL_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/dll.py $<TARGET_FILE:zelextensions>
  ${ZEL_DLL_POLICY})
add_test(NAME release.breakages COMMAND ${ZEL_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/breakages.py
  --dll $<TARGET_FILE:zelextensions> --readme ${PROJECT_BINARY_DIR}/release/README.txt
  --license ${PROJECT_SOURCE_DIR}/LICENSE --work ${CMAKE_CURRENT_BINARY_DIR}/breakages ${ZEL_DLL_POLICY})

if(TARGET breaching)
  # Every breach of the calling convention reported, and survived.
  add_test(NAME zelhost.breaches COMMAND ${ZEL_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/cases.py
    ${CMAKE_CURRENT_SOURCE_DIR}/breaches.txt --tag $<IF:$<EQUAL:${CMAKE_SIZEOF_VOID_P},4>,win32,win64> --library $<TARGET_FILE:breaching>
    -- ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:zelhost>)
endif()

if(TARGET tools_lacking)
  # The folder of the tools.dll that lacks ZELSetString (host/fixtures.cmake),
  # with zelhost.exe and zelextensions.dll beside it.
  add_custom_target(lacking_programs ALL
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:zelhost> $<TARGET_FILE:zelextensions>
      $<TARGET_FILE_DIR:tools_lacking>
    DEPENDS tools_lacking zelhost zelextensions)
  add_run_test(zelhost.lacking 2 ""
    "zelhost: cannot load \"[^\n]*zelextensions.dll\": tools.dll does not export ZELSetString\n"
    $<TARGET_FILE_DIR:tools_lacking>/$<TARGET_FILE_NAME:zelhost> "FormatasTime(1)")
endif()

if(TARGET tools_decorated)
  # The folder of the tools.dll that exports the operations only under their
  # decorated names (host/fixtures.cmake), with the stdcall zelhost.exe and
  # zelextensions.dll beside it: the DLL does not load. Windows refuses it
  # itself; Wine binds the missing imports to stubs, which zelhost's own
  # check of the imports finds.
  set(decorated $<TARGET_FILE_DIR:tools_decorated>)
  add_custom_target(decorated_programs ALL
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:zelhost_stdcall> $<TARGET_FILE:zelextensions>
      ${decorated}
    DEPENDS tools_decorated zelhost_stdcall zelextensions)
  set(refusal "The specified procedure could not be found\\.")
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(refusal "tools.dll does not export [A-Za-z]+")
  endif()
  add_run_test(zelhost.decorated 2 "" "zelhost: cannot load \"[^\n]*zelextensions.dll\": ${refusal}\n"
    ${decorated}/$<TARGET_FILE_NAME:zelhost_stdcall> "FormatasTime(1)")
endif()

# A file that is no DLL: the message names it, with no insert of Windows'
# left in. The loader's code is the same at 32 bits; 64-bit Wine runs it in
# a second.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  file(CONFIGURE OUTPUT not_a.dll CONTENT "This is no DLL.\n")
  add_run_test(zelhost.not_a_dll 2 "" "zelhost: cannot load \"[^\n]*not_a.dll\": [^%\n]+\n"
    $<TARGET_FILE:zelhost> --library ${CMAKE_CURRENT_BINARY_DIR}/not_a.dll --list)
endif()

# Under Wine, the prefix made first, by wine64, and the session begun that
# the tests share, so that Wine's messages, on making the prefix or from its
# services, reach no test. The presets share one prefix among their builds.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  get_property(tests DIRECTORY PROPERTY TESTS)
  set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED wine)
  add_test(NAME wine.prefix COMMAND ${CMAKE_COMMAND} -DSERVER=${ZEL_WINESERVER} -DSECONDS=30
    -DBOOT=$<IF:$<BOOL:${ZEL_WINE64_PATH}>,${ZEL_WINE64_PATH},${CMAKE_CROSSCOMPILING_EMULATOR}>
    -DLOG=${CMAKE_CURRENT_BINARY_DIR}/wineboot.log -P ${CMAKE_CURRENT_SOURCE_DIR}/wine-session.cmake)
  set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine.prefix ${tests} PROPERTIES ENVIRONMENT "WINEPREFIX=${ZEL_WINE_PREFIX};WINEDEBUG=-all")
endif()
