# End-to-end tests under Wine: this process plays the viewer and loads the
# real VidudUDE.DLL; real peer processes talk to it.
add_executable(copydata_sender tests/wine_tools/copydata_sender.cpp)
target_link_options(copydata_sender PRIVATE ${static_runtime})
add_executable(log_host tests/wine_tools/log_host.cpp)
target_include_directories(log_host PRIVATE ${PROJECT_SOURCE_DIR})
target_link_options(log_host PRIVATE ${static_runtime})
add_executable(exit_host tests/wine_tools/exit_host.cpp)
target_include_directories(exit_host PRIVATE ${PROJECT_SOURCE_DIR})
target_link_options(exit_host PRIVATE ${static_runtime})

add_executable(plugin_e2e_tests
  tests/wine/plugin_session.cpp
  tests/wine/plugin_frame_test.cpp
  tests/wine/plugin_lifecycle_test.cpp
  tests/wine/plugin_link_test.cpp
  tests/wine/plugin_shared_link_test.cpp
  tests/wine/plugin_code_page_test.cpp
  tests/wine/plugin_chaos_test.cpp
  tests/wine/plugin_host_faults_test.cpp
  tests/wine/plugin_viewer_faults_test.cpp
  tests/wine/plugin_unload_test.cpp
  tests/wine/plugin_containment_test.cpp
  tests/wine/plugin_start_box_test.cpp
  tests/wine/plugin_leak_test.cpp
  tests/wine/plugin_support_log_test.cpp
  tests/wine/peer_sdk_test.cpp)
target_compile_definitions(plugin_e2e_tests PRIVATE
  VIDUDUDE_DLL="${VIDUDUDE_DLL}"
  PEER_SIM_EXE="$<TARGET_FILE:peer_sim>"
  BARE_HOST_EXE="$<TARGET_FILE:bare_host>"
  PARTIAL_HOST_EXE="$<TARGET_FILE:partial_host>"
  FAULTY_DLL="${VIDUDUDE_FAULTY_DLL}"
  COPYDATA_SENDER_EXE="$<TARGET_FILE:copydata_sender>"
  EXIT_HOST_EXE="$<TARGET_FILE:exit_host>"
  LOG_HOST_EXE="$<TARGET_FILE:log_host>"
  IFC_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/../shared/ifc-samples"
  DEMO_MODEL="${PROJECT_SOURCE_DIR}/models/demo-house.ifc"
  VIDUDUDE_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  VIDUDUDE_VERSION_MINOR=${PROJECT_VERSION_MINOR})
target_link_libraries(plugin_e2e_tests PRIVATE viewer_sim_exports viewer_sim_host peer_driver vidudude_logic gtest gtest_main
  version)
target_link_options(plugin_e2e_tests PRIVATE ${static_runtime})
add_dependencies(plugin_e2e_tests VidudUDE vidudude_plugin-faulty copydata_sender exit_host log_host peer_sim bare_host partial_host)
# They take most of the Wine tests' time, so they run as several CTest
# entries, GoogleTest's shards, each in a Wine prefix of its own.
set(plugin_e2e_shards 4)
math(EXPR plugin_e2e_last_shard "${plugin_e2e_shards} - 1")
foreach(shard RANGE ${plugin_e2e_last_shard})
  add_test(NAME plugin_e2e_tests_${shard} COMMAND plugin_e2e_tests
    --gtest_filter=-*UnderACyrillicCodePage:SupportLog.FailuresReachTheEventLogWithTheirLinesWords)
  set_tests_properties(plugin_e2e_tests_${shard} PROPERTIES TIMEOUT 1200 RESOURCE_GROUPS wineprefix:1
    ENVIRONMENT "GTEST_TOTAL_SHARDS=${plugin_e2e_shards};GTEST_SHARD_INDEX=${shard}")
endforeach()

# The plug-in's German texts and the index's spelling of GUIDs under the
# Cyrillic ANSI code page 1251: Wine takes the code page from the locale,
# built here from the system's locale sources into the build tree. A skip
# (another code page) fails the entry.
add_test(NAME plugin_e2e_code_page_1251
  COMMAND ${vidudude_wine_prefix} sh -c "mkdir -p \"$0\" && localedef -i ru_RU -f CP1251 \"$0/ru_RU.CP1251\" && LOCPATH=\"$0\" LC_ALL=ru_RU.CP1251 wine \"$1\" --gtest_filter=*UnderACyrillicCodePage:*InEveryCodePage"
          ${CMAKE_BINARY_DIR}/locales $<TARGET_FILE:plugin_e2e_tests>)
set_tests_properties(plugin_e2e_code_page_1251 PROPERTIES TIMEOUT 300 FAIL_REGULAR_EXPRESSION "SKIPPED"
  RESOURCE_GROUPS wineprefix:1)

# The peer SDK's link client in the test process, a peer, against the
# plug-in in the viewer simulator, a process of its own.
add_executable(link_client_tests tests/wine/link_client_test.cpp)
target_include_directories(link_client_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(link_client_tests PRIVATE VIDUDUDE_DLL="${VIDUDUDE_DLL}"
  VIEWER_SIM_EXE="$<TARGET_FILE:viewer_sim>")
target_link_libraries(link_client_tests PRIVATE peer_driver gtest gtest_main)
target_link_options(link_client_tests PRIVATE ${static_runtime})
add_dependencies(link_client_tests VidudUDE viewer_sim)
add_test(NAME link_client_tests COMMAND link_client_tests)
set_tests_properties(link_client_tests PROPERTIES TIMEOUT 300 RESOURCE_GROUPS wineprefix:1)

# The plug-in's event log entries as Wine's eventlog debug channel shows
# them: this process's debug output goes to a file that the test reads. A
# skip (no file named) fails the entry.
add_test(NAME plugin_event_log
  COMMAND ${vidudude_wine_prefix} sh -c "WINEDEBUG=-all,+eventlog,fixme+advapi VIDUDUDE_WINE_DEBUG_LOG=\"$0\" wine \"$1\" --gtest_filter=SupportLog.FailuresReachTheEventLogWithTheirLinesWords 2>\"$0\"; status=$?; cat \"$0\" >&2; exit $status"
          ${CMAKE_BINARY_DIR}/event_log_debug.txt $<TARGET_FILE:plugin_e2e_tests>)
set_tests_properties(plugin_event_log PROPERTIES TIMEOUT 300 FAIL_REGULAR_EXPRESSION "SKIPPED"
  RESOURCE_GROUPS wineprefix:1)
