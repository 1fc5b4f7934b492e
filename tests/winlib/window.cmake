# The window library (natively on the headless window system, on Windows under wine with an
# X server).
if(TARGET zorv_winlib_window)
  zorv_test(winlib_window_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/window_smoke_test.cpp
    LIBS zorv_winlib_window)
endif()
