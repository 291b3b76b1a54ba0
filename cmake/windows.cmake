# Cross build for 32-bit Windows: the plug-in DLL, the simulators and the
# tests that run under Wine.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
set(static_runtime -static -static-libgcc -static-libstdc++)

add_library(vidudude_platform STATIC platform/win32_platform.cpp)
target_link_libraries(vidudude_platform PUBLIC vidudude_logic shell32 user32)

configure_file(plugin/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version.rc @ONLY)
add_library(VidudUDE SHARED
  plugin/exports.cpp
  plugin/VidudUDE.def
  platform/system_platform.cpp
  ${CMAKE_CURRENT_BINARY_DIR}/version.rc)
set_target_properties(VidudUDE PROPERTIES PREFIX "" SUFFIX ".DLL" OUTPUT_NAME "VidudUDE")
target_link_libraries(VidudUDE PRIVATE vidudude_platform)
target_link_options(VidudUDE PRIVATE ${static_runtime} -Wl,--enable-stdcall-fixup)

# A DLL that imports anything but system DLLs would not load on a clean
# Windows: fail the build when one sneaks in.
add_custom_command(TARGET VidudUDE POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:VidudUDE> -P ${PROJECT_SOURCE_DIR}/cmake/check_imports.cmake
  VERBATIM)

# GoogleTest, built from Debian's sources with the cross compiler.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock)
  target_compile_options(${t} PRIVATE -Wno-error)
endforeach()

add_subdirectory(tools)
include(cmake/bench_win32.cmake)
include(cmake/dist.cmake)
include(tests/wine_tests.cmake OPTIONAL)
