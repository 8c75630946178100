# The stand-in host: the `tools` library and zelhost (host/), which the
# tests run the library beside. Included by the top level.
#
# It is built here, by this build's compiler, unless ZEL_HOST_TOOLCHAIN
# names another toolchain to build it with: clang-cl here has no C++
# library, and Visual Studio is to be tested beside a host built by MinGW,
# as a real host is built by another compiler than its extension. On 32-bit
# Windows the one DLL serves hosts of both calling conventions, so the
# tests need a stand-in of each: ZEL_CALLING_CONVENTION is the convention of
# the stand-in zelhost that the tests run first (the library calls the
# operations through thunks that serve either, src/thunks_*.cpp), and every
# other one is built apart, by ExternalProject (the target
# host_<convention>), in a folder of its own with its tools.dll beside its
# zelhost.exe. What a build apart makes is imported here, once, and used by
# name: zelhost_<convention>, the stdcall one's tools_decorated
# (host/fixtures.cmake), and zelhost itself where no stand-in is built here.
if(NOT ZEL_CALLING_CONVENTION MATCHES "^(cdecl|stdcall)$")
  message(FATAL_ERROR "ZEL_CALLING_CONVENTION is cdecl or stdcall, not \"${ZEL_CALLING_CONVENTION}\"")
endif()

if(NOT ZEL_HOST_TOOLCHAIN)
  add_subdirectory(host)
endif()
if(NOT BUILD_TESTING)
  return()
endif()

set(apart "")
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(apart cdecl stdcall)
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
  set(folder ${PROJECT_BINARY_DIR}/host-${convention})
  set(targets zelhost)
  if(convention STREQUAL "stdcall")
    list(APPEND targets tools_decorated)
  endif()
  ExternalProject_Add(host_${convention}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${folder}
    ${generator}
    CMAKE_ARGS --toolchain ${toolchain} -DCMAKE_BUILD_TYPE=${type} -DZEL_CALLING_CONVENTION=${convention}
      -DBUILD_TESTING=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target ${targets}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
  add_executable(zelhost_${convention} IMPORTED GLOBAL)
  set_target_properties(zelhost_${convention} PROPERTIES IMPORTED_LOCATION ${folder}/zelhost.exe)
  add_dependencies(zelhost_${convention} host_${convention})
  if(convention STREQUAL "stdcall")
    add_library(tools_decorated SHARED IMPORTED GLOBAL)
    set_target_properties(tools_decorated PROPERTIES IMPORTED_LOCATION ${folder}/decorated/tools.dll
      IMPORTED_IMPLIB ${folder}/decorated/libtools.dll.a)
    add_dependencies(tools_decorated host_${convention})
  endif()
endforeach()
if(ZEL_HOST_TOOLCHAIN)
  add_executable(zelhost ALIAS zelhost_${ZEL_CALLING_CONVENTION})
endif()
