# Routing, data sources, conditions, counting.
add_library(zorv_elements_flow STATIC
  ${CMAKE_CURRENT_LIST_DIR}/kvHub.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvCommutator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvDoData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvEventFromData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/If_arg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvIf_else.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvCase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvSwitch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvCounter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvFor.cpp)
target_link_libraries(zorv_elements_flow PUBLIC zorv_runtime)
