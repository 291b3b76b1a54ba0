# Cross build for 32-bit Windows: the plug-in DLL, the simulators and the
# tests that run under Wine.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
set(static_runtime -static -static-libgcc -static-libstdc++)

add_library(vidudude_platform STATIC platform/win32_platform.cpp platform/win32_support_log.cpp
  platform/foreign_call_guard.cpp)
target_link_libraries(vidudude_platform PUBLIC vidudude_logic shell32 user32 advapi32)

if(VIDUDUDE_PLUGIN_ONLY)
  include(cmake/plugin_dll.cmake)
  return()
endif()

include(ExternalProject)
set(VIDUDUDE_DLL ${CMAKE_BINARY_DIR}/VidudUDE.DLL)
set(VIDUDUDE_FAULTY_DLL ${CMAKE_BINARY_DIR}/VidudUDE_faulty.DLL)
ExternalProject_Add(vidudude_plugin
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/plugin-build
  # -g does not change the code; it gives the release archive's debug file
  # the plug-in's own functions and lines (the packaged DLL is stripped).
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-i686-mingw-win32threads.cmake
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DCMAKE_CXX_FLAGS=-g
             -DVIDUDUDE_PLUGIN_ONLY=ON
             -DVIDUDUDE_PLUGIN_OUTPUT_DIR=${CMAKE_BINARY_DIR}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${VIDUDUDE_DLL})
# What the rest of the build depends on to have the plug-in built.
add_custom_target(VidudUDE DEPENDS vidudude_plugin)
# The test variant, in the same sub-build but made only for the tests that
# load it (target vidudude_plugin-faulty), so that the demo does not wait
# for it.
ExternalProject_Add_Step(vidudude_plugin faulty
  COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target VidudUDE_faulty
  DEPENDEES build
  ALWAYS ON
  EXCLUDE_FROM_MAIN ON
  BYPRODUCTS ${VIDUDUDE_FAULTY_DLL})
ExternalProject_Add_StepTargets(vidudude_plugin faulty)

# GoogleTest, built from Debian's sources with the cross compiler.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock)
  target_compile_options(${t} PRIVATE -Wno-error)
endforeach()

# Every Wine test runs in the Wine prefix that CTest allots it (resource
# "wineprefix", one per test running at a time): test programs through the
# emulator, script tests by starting with ${vidudude_wine_prefix}.
set(vidudude_wine_prefix bash ${PROJECT_SOURCE_DIR}/tests/wine_prefix.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${vidudude_wine_prefix} wine)

add_subdirectory(tools)
add_subdirectory(diagnose)
add_subdirectory(peer_sdk)

include(cmake/bench_win32.cmake)
include(cmake/dist.cmake)
include(tests/wine_tests.cmake)
