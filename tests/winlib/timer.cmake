zorv_test(winlib_timer_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mmtimer_test.cpp
  LIBS zorv_winlib_timer)
