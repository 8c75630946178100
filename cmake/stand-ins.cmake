# The stand-in host: the `tools` library and zelhost (host/), which the
# tests run the library beside. Included by the top level.
#
# It is built here, by this build's compiler, unless ZEL_HOST_TOOLCHAIN
# names another toolchain to build it with: clang-cl here has no C++
# library, and Visual Studio is to be tested beside a host built by MinGW,
# as a real host is built by another compiler than its extension. On 32-bit
# Windows the one DLL serves hosts of both calling conventions, so the
# tests need a stand-in of each: ZEL_CALLING_CONVENTION is the convention of
# the stand-in zelhost that the tests run first, and every other one is
# built apart, by ExternalProject, in host-<convention>/ with its tools.dll
# beside its zelhost.exe, as the target host_<convention>. The tests run
# every case beside each (tests/CMakeLists.txt).

# The convention of the stand-in's operations on 32-bit Windows. The library
# calls them through thunks that serve either (src/thunks_*.cpp), so this
# chooses only how a stand-in's tools.dll and zelhost.exe are built.
set(ZEL_CALLING_CONVENTION cdecl CACHE STRING "The stand-in host's calling convention on 32-bit Windows: cdecl or stdcall")
set_property(CACHE ZEL_CALLING_CONVENTION PROPERTY STRINGS cdecl stdcall)
if(NOT ZEL_CALLING_CONVENTION MATCHES "^(cdecl|stdcall)$")
  message(FATAL_ERROR "ZEL_CALLING_CONVENTION is cdecl or stdcall, not \"${ZEL_CALLING_CONVENTION}\"")
endif()
set(ZEL_HOST_TOOLCHAIN "" CACHE FILEPATH "A toolchain file to build the stand-in host with, when not this one")

if(NOT ZEL_HOST_TOOLCHAIN)
  add_subdirectory(host)
endif()
if(NOT BUILD_TESTING)
  return()
endif()

set(apart "")
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(apart cdecl stdcall)
  # The stdcall stand-in also builds a tools.dll that exports its operations
  # under their decorated names, which no extension can load against.
  set(targets_stdcall zelhost tools_decorated)
endif()
if(NOT ZEL_HOST_TOOLCHAIN)
  list(REMOVE_ITEM apart ${ZEL_CALLING_CONVENTION})
elseif(NOT apart)
  set(apart ${ZEL_CALLING_CONVENTION})
endif()
set(toolchain ${ZEL_HOST_TOOLCHAIN})
if(NOT toolchain)
  set(toolchain ${CMAKE_TOOLCHAIN_FILE})
endif()
# Under Visual Studio's generator, which builds with its own compiler and
# in several configurations, the stand-ins apart are built with Ninja, in
# Release.
set(generator "")
set(type ${CMAKE_BUILD_TYPE})
get_property(several GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
if(several)
  set(generator CMAKE_GENERATOR Ninja)
  set(type Release)
endif()
include(ExternalProject)
foreach(convention IN LISTS apart)
  if(NOT targets_${convention})
    set(targets_${convention} zelhost)
  endif()
  ExternalProject_Add(host_${convention}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${PROJECT_BINARY_DIR}/host-${convention}
    ${generator}
    CMAKE_ARGS --toolchain ${toolchain} -DCMAKE_BUILD_TYPE=${type} -DZEL_CALLING_CONVENTION=${convention}
      -DBUILD_TESTING=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${targets_${convention}}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
endforeach()
if(ZEL_HOST_TOOLCHAIN)
  add_executable(zelhost IMPORTED)
  set_target_properties(zelhost PROPERTIES IMPORTED_LOCATION ${PROJECT_BINARY_DIR}/host-${ZEL_CALLING_CONVENTION}/zelhost.exe)
endif()
