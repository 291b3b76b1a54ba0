# The plug-in DLL, and a test variant of it whose platform fails on demand.
# Built on their own with the win32-threads toolchain; the main cross build
# runs this as a sub-build and finds the DLLs in its own binary directory.
set(VERSION_FILE_TYPE VFT_DLL)
set(VERSION_DESCRIPTION "Plugin zur Anbindung Quabo <=> BIM Vision")
set(VERSION_INTERNAL_NAME VIDUDUDE)
set(VERSION_FILE_NAME VidudUDE.DLL)
configure_file(plugin/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version.rc @ONLY)

# The message table of the plug-in's event log entries, so that Event Viewer
# shows their text from the DLL itself.
set(event_messages_dir ${CMAKE_CURRENT_BINARY_DIR}/event_messages)
add_custom_command(OUTPUT ${event_messages_dir}/event_messages.rc ${event_messages_dir}/MSG00409.bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${event_messages_dir}
  COMMAND i686-w64-mingw32-windmc -r ${event_messages_dir} -h ${event_messages_dir}
          ${PROJECT_SOURCE_DIR}/plugin/event_messages.mc
  DEPENDS ${PROJECT_SOURCE_DIR}/plugin/event_messages.mc
  VERBATIM)

function(vidudude_plugin_dll target)
  add_library(${target} SHARED plugin/exports.cpp plugin/VidudUDE.def ${event_messages_dir}/event_messages.rc ${ARGN})
  target_include_directories(${target} PRIVATE ${event_messages_dir})
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".DLL"
                        RUNTIME_OUTPUT_DIRECTORY ${VIDUDUDE_PLUGIN_OUTPUT_DIR})
  target_link_libraries(${target} PRIVATE vidudude_platform)
  target_link_options(${target} PRIVATE ${static_runtime} -Wl,--enable-stdcall-fixup)
  # A DLL that imports anything but system DLLs would not load on a clean
  # Windows, and one whose image flags refuse its exception handler would
  # crash on the first fault in a viewer call: fail the build on either.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:${target}> -P ${PROJECT_SOURCE_DIR}/cmake/check_imports.cmake
    COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:${target}> -P ${PROJECT_SOURCE_DIR}/cmake/check_seh.cmake
    VERBATIM)
endfunction()

vidudude_plugin_dll(VidudUDE platform/system_platform.cpp ${CMAKE_CURRENT_BINARY_DIR}/version.rc)
vidudude_plugin_dll(VidudUDE_faulty tests/wine_tools/faulty_platform.cpp)
# Only the Wine tests load it: the sub-build's default makes the plug-in alone.
set_target_properties(VidudUDE_faulty PROPERTIES EXCLUDE_FROM_ALL ON)
