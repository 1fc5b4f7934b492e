# The window elements. window_rules_tests: the pure table rules, without windows.
# window_elements_tests: the elements through their points and through real window
# messages and input (natively on the headless window system, under wine on the real one
# with the test run's X server). window_threads_tests: other threads updating the elements
# while the window thread enters the scheme gate for its own events.
zorv_test(window_rules_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FormStyles_test.cpp
  LIBS zorv_window_rules)

if(TARGET zorv_window_elements)
  zorv_test(window_elements_tests WINDOW
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/Win_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/kvSimpleForm_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/kvButton_kvLabel_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/kvEdit_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/WinList_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/kvProgressBar_kvImage_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/kvHintManager_test.cpp
    LIBS zorv_window_elements)
  zorv_test(window_threads_tests WINDOW
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/WindowGate_test.cpp
    LIBS zorv_window_elements)
endif()
