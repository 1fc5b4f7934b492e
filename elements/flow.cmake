# Routing, data sources, conditions, counting.
add_library(zorv_elements_flow STATIC
  ${CMAKE_CURRENT_LIST_DIR}/kvHub.cpp)
target_link_libraries(zorv_elements_flow PUBLIC zorv_runtime)
