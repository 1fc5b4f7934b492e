zorv_test(elements_flow_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/kvHub_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvCommutator_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvDoData_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvEventFromData_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/If_arg_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvIf_else_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvCase_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvSwitch_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvCounter_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvFor_test.cpp
  LIBS zorv_elements_flow)
