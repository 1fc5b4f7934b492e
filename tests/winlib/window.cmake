# The window library's tests. Natively they run on the headless window system under the
# sanitizers; in the Windows tree the same sources run under wine on the test run's X
# server (window tests: display lock, en_US.UTF-8). The pure rules need no windows.
zorv_test(winlib_layout_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/layout_test.cpp
  LIBS zorv_winlib_layout)
if(TARGET zorv_winlib_window)
  zorv_test(winlib_window_tests WINDOW
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/window_smoke_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/routing_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/controls_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/graphics_test.cpp
    LIBS zorv_winlib_window)
  zorv_test(winlib_leak_tests WINDOW
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/leak_test.cpp
    LIBS zorv_winlib_window)
  if(ZORV_WINDOWS)
    # What a person sees: texts and pixels on the real window system.
    zorv_test(winlib_render_tests WINDOW
      SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_test.cpp
      LIBS zorv_winlib_window)
  endif()
endif()
