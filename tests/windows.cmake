# On Windows the tests run from the native build; here is only what they need
# besides the programs: a folder whose tools.dll lacks ZELSetString, with
# zelhost.exe and zelextensions.dll beside it.
set(lacking ${PROJECT_BINARY_DIR}/lacking)
add_library(tools_lacking SHARED ${PROJECT_SOURCE_DIR}/host/tools.cpp)
target_include_directories(tools_lacking PRIVATE ${PROJECT_SOURCE_DIR}/include)
set_target_properties(tools_lacking PROPERTIES OUTPUT_NAME tools RUNTIME_OUTPUT_DIRECTORY ${lacking}
  ARCHIVE_OUTPUT_DIRECTORY ${lacking})
target_link_options(tools_lacking PRIVATE
  -Wl,--exclude-libs,libgcc_eh.a:libpthread.a:libwinpthread.a -Wl,--exclude-symbols,ZELSetString)
add_custom_target(lacking_programs ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:zelhost> $<TARGET_FILE:zelextensions> ${lacking}
  DEPENDS tools_lacking zelhost zelextensions)
