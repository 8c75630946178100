# The stand-in tools libraries that no extension can load against, for the
# tests of that refusal:
# - tools_lacking, without ZELSetString, in a test build whose linker can
#   leave one symbol out (not MSVC's, which exports all or none), in the
#   build folder's lacking/;
# - tools_decorated, exporting the operations only under the names that the
#   stdcall convention decorates them with (_AddFunctionCall@8 and the
#   like), as a tools.dll built without an export list does: in the stdcall
#   stand-in built by MinGW, in its decorated/.
if(BUILD_TESTING AND NOT MSVC)
  zel_tools(tools_lacking)
  set(lacking ${PROJECT_BINARY_DIR}/lacking)
  set_target_properties(tools_lacking PROPERTIES OUTPUT_NAME tools
    LIBRARY_OUTPUT_DIRECTORY ${lacking} RUNTIME_OUTPUT_DIRECTORY ${lacking} ARCHIVE_OUTPUT_DIRECTORY ${lacking})
  if(WIN32)
    target_link_options(tools_lacking PRIVATE -Wl,--exclude-symbols,ZELSetString:ZELSetString@4)
  else()
    target_link_options(tools_lacking PRIVATE -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/lacking.map)
  endif()
endif()

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4 AND ZEL_CALLING_CONVENTION STREQUAL "stdcall" AND NOT MSVC)
  zel_tools(tools_decorated DECORATED)
  set(decorated ${PROJECT_BINARY_DIR}/decorated)
  set_target_properties(tools_decorated PROPERTIES OUTPUT_NAME tools
    RUNTIME_OUTPUT_DIRECTORY ${decorated} ARCHIVE_OUTPUT_DIRECTORY ${decorated})
endif()
