# The native tests, on Linux (tests/CMakeLists.txt has those of every
# build): the GoogleTest suites of the library, the stand-in and zelhost;
# what the .so exports, imports and keeps writable; the suite and zelhost
# under valgrind; and the library's code linked to bare host operations.
if(ZEL_GTEST_SOURCE)
  # Built here, for a target whose GoogleTest the machine does not have.
  add_subdirectory(${ZEL_GTEST_SOURCE} googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

add_library(rogue MODULE rogue.cpp)
target_link_libraries(rogue PRIVATE tools)
set_target_properties(rogue PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
zel_warnings(rogue)

add_executable(zel_tests library_test.cpp host_test.cpp zelhost_test.cpp)
target_link_libraries(zel_tests PRIVATE zelhost_core GTest::gtest_main)
target_compile_definitions(zel_tests PRIVATE
  ZEL_LIBRARY="$<TARGET_FILE:zelextensions>"
  ZELHOST="$<TARGET_FILE:zelhost>"
  LACKING_TOOLS_DIR="$<TARGET_FILE_DIR:tools_lacking>"
  ROGUE="$<TARGET_FILE:rogue>")
add_dependencies(zel_tests zelextensions zelhost tools_lacking rogue)
if(TARGET breaching)
  target_compile_definitions(zel_tests PRIVATE BREACHING="$<TARGET_FILE:breaching>")
  add_dependencies(zel_tests breaching)
endif()
zel_warnings(zel_tests)
gtest_discover_tests(zel_tests)

# clang-tidy, of the version the project pins, on the library and the
# stand-in host (.clang-tidy), with this build's compile commands: the tidy
# layer. The thunks are 32-bit Windows code, which this build does not see.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/llvm-version.txt llvm)
find_program(ZEL_CLANG_TIDY NAMES clang-tidy-${llvm})
if(ZEL_CLANG_TIDY AND CMAKE_EXPORT_COMPILE_COMMANDS)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/host/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/thunks_[^/]*$")
  add_test(NAME clang-tidy COMMAND ${ZEL_CLANG_TIDY} --quiet -p ${PROJECT_BINARY_DIR} ${sources})
  set_tests_properties(clang-tidy PROPERTIES LABELS tidy TIMEOUT 900)
endif()

if(NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
  # What the library exports and imports, and that it keeps no writable data
  # (a sanitizer adds both of its own).
  add_test(NAME library.symbols COMMAND ${ZEL_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/so.py symbols
    $<TARGET_FILE:zelextensions> --nm ${CMAKE_NM})
  add_test(NAME library.no_writable_data COMMAND ${ZEL_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/so.py objects
    $<TARGET_OBJECTS:zelextensions_code>)

  # The suite and zelhost under valgrind's memcheck: slow, so labelled apart.
  find_program(ZEL_VALGRIND valgrind)
  if(ZEL_VALGRIND)
    set(memcheck ${ZEL_VALGRIND} --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite -q)
    add_test(NAME valgrind.suite COMMAND ${memcheck} $<TARGET_FILE:zel_tests>)
    add_cases_test(valgrind.cases "${memcheck}" $<TARGET_FILE:zelhost>)
    set_tests_properties(valgrind.suite valgrind.cases PROPERTIES LABELS valgrind TIMEOUT 1800)
  endif()
endif()

# The library's code linked to bare host operations (host/direct/, which
# the benchmarks use too), for checks that call it billions of times or
# watch its every allocation.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_executable(direct_tests exhaustive_test.cpp heap_test.cpp $<TARGET_OBJECTS:zelextensions_code>)
  target_link_libraries(direct_tests PRIVATE direct_tools GTest::gtest_main)
  zel_warnings(direct_tests)
  # Every test found; those of the suite Exhaustive, which run every input,
  # labelled apart.
  gtest_discover_tests(direct_tests TEST_FILTER "Exhaustive.*" PROPERTIES LABELS exhaustive TIMEOUT 1200)
  gtest_discover_tests(direct_tests TEST_FILTER "-Exhaustive.*")
endif()
