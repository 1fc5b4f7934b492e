# The window test machinery itself (Windows tree, under the X server fixture): windriver
# and tests/support/wintest.py drive a small raw-Win32 sample window with real clicks and
# keys, read it back, capture it, and run it in the background against the simulator.
if(ZORV_WINDOWS)
  add_executable(sample_window WIN32
    ${CMAKE_SOURCE_DIR}/tests/support/sample_window.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/wine_started.cpp)
  target_link_libraries(sample_window PRIVATE user32 gdi32 comctl32 shell32)

  add_test(NAME WindowMachinery.SampleWindow
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/window_machinery_test.py -v)
  set_tests_properties(WindowMachinery.SampleWindow PROPERTIES
    TIMEOUT 600
    ENVIRONMENT "ZORV_SAMPLE_WINDOW=$<TARGET_FILE:sample_window>;ZORV_WINDRIVER=$<TARGET_FILE:windriver>;ZORV_ZORVSIM=${ZORV_ZORVSIM}")
  zorv_window_tests(TESTS WindowMachinery.SampleWindow)
endif()
