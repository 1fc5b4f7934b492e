zorv_test(elements_flow_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/kvHub_test.cpp
  LIBS zorv_elements_flow)
