# Native unit tests of the viewer simulator's plain C++ part; the IFC sample
# files, when present beside the repository, are checked too.
include(${CMAKE_CURRENT_LIST_DIR}/core.cmake)

add_executable(viewer_sim_native_tests
  ${PROJECT_SOURCE_DIR}/tests/native_tools/ifc_reader_test.cpp
  ${PROJECT_SOURCE_DIR}/tests/native_tools/viewer_sim_core_test.cpp
)
target_compile_definitions(viewer_sim_native_tests PRIVATE
  VIEWER_SIM_IFC_SAMPLES="${PROJECT_SOURCE_DIR}/../shared/ifc-samples")
target_link_libraries(viewer_sim_native_tests PRIVATE viewer_sim_core GTest::gtest GTest::gtest_main)
add_test(NAME viewer_sim_native_tests COMMAND viewer_sim_native_tests)
