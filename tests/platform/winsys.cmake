# Window system tests. winsys_tests use only the Win32 API: natively they meet the headless
# system, under wine the real one, with the same expectations. headless_tests check the
# headless system's own model and its test controls (platform/headless.h), natively only.
zorv_test(winsys_tests WINDOW
  SOURCES winsys_messages_test.cpp winsys_threads_test.cpp winsys_controls_test.cpp
  LIBS zorv_platform_win)
if(ZORV_WINDOWS)
  # What the real system does with user input, for the headless tests to imitate.
  zorv_test(winsys_real_input_tests WINDOW
    SOURCES winsys_real_input_test.cpp
    LIBS zorv_platform_win)
else()
  zorv_test(headless_tests
    SOURCES headless_test.cpp
    LIBS zorv_platform_win)
endif()
