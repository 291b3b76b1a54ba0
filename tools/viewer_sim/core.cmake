# The simulator's plain C++ part (model, IFC reader, call log, viewer state),
# shared by the native and the cross build.
add_library(viewer_sim_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/call_log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ifc_products.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ifc_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/viewer_sim.cpp
)
target_include_directories(viewer_sim_core PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_features(viewer_sim_core PUBLIC cxx_std_20)
