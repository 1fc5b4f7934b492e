zorv_test(elements_timer_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/kvMMTimer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvSleep_test.cpp
  LIBS zorv_elements_timer)
