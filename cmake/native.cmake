# Native (Linux) build: unit tests of the logic under the sanitizers, and
# the benchmarks.
option(VIDUDUDE_FUZZ "Build only the libFuzzer harnesses (clang++)" OFF)
if(VIDUDUDE_FUZZ)
  include(${PROJECT_SOURCE_DIR}/cmake/fuzz.cmake)
  return()
endif()

find_package(GTest REQUIRED)
include(GoogleTest)

# Listed by name, so that a missing test file fails the configure step; a
# file in tests/native that the list lacks fails it too, so that no test is
# left out unseen.
set(native_test_files
  commands_test.cpp
  connected_peers_test.cpp
  controller_fixture.cpp
  diagnose_test.cpp
  fakes.cpp
  guid_index_test.cpp
  guid_lines_test.cpp
  guid_text_test.cpp
  lifecycle_test.cpp
  link_rules_test.cpp
  message_sender_test.cpp
  peer_discovery_test.cpp
  peer_text_test.cpp
  protocol_doc_test.cpp
  selection_test.cpp
  support_record_test.cpp
  unload_reentry_test.cpp
  view_state_hex_test.cpp
  viewer_binding_test.cpp)
file(GLOB native_test_present CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/tests/native
  ${PROJECT_SOURCE_DIR}/tests/native/*.cpp)
list(REMOVE_ITEM native_test_present ${native_test_files})
if(native_test_present)
  message(FATAL_ERROR "tests/native has files that cmake/native.cmake does not list: ${native_test_present}")
endif()
list(TRANSFORM native_test_files PREPEND ${PROJECT_SOURCE_DIR}/tests/native/ OUTPUT_VARIABLE native_test_sources)
add_executable(native_tests ${native_test_sources})
target_link_libraries(native_tests PRIVATE vidudude_logic vidudude_diagnose GTest::gtest GTest::gtest_main)
target_compile_definitions(native_tests PRIVATE VIDUDUDE_PROTOCOL_DOC="${PROJECT_SOURCE_DIR}/docs/protocol.md")
add_test(NAME native_tests COMMAND native_tests)
# The checker of the folders' include rules, on a tree that breaks them.
add_test(NAME include_rules COMMAND bash ${PROJECT_SOURCE_DIR}/tests/include_rules/check_includes_test.sh)
# The one line that ./run test ends with, over a report of known results.
add_test(NAME test_summary COMMAND python3 ${PROJECT_SOURCE_DIR}/tests/summary/test_summary_test.py)

include(${PROJECT_SOURCE_DIR}/tools/viewer_sim/native.cmake)

# LeakSanitizer runs with AddressSanitizer: a test run that leaks fails.
if(VIDUDUDE_SANITIZE)
  set_tests_properties(native_tests viewer_sim_native_tests PROPERTIES
    ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")
endif()

# Benchmarks are built only without the sanitizers, whose checks would be
# measured instead of the code.
if(NOT VIDUDUDE_SANITIZE)
  find_package(benchmark REQUIRED)
  add_executable(bridge_bench tests/bench/bridge_bench.cpp)
  target_link_libraries(bridge_bench PRIVATE vidudude_logic benchmark::benchmark)
endif()
