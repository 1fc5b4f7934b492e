# windriver (tools/windriver): a Windows console program that window tests run under wine
# beside the program under test, to find, read, capture and close its windows. Windows
# tree only; ZORV_WINDRIVER names it. It leaves the wrapper's start sign (its exit status
# 1 means "not found", which the wrapper must not take for a failed wine start).
if(ZORV_WINDOWS)
  add_executable(windriver
    ${CMAKE_CURRENT_LIST_DIR}/windriver/windriver.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/wine_started.cpp)
  target_link_libraries(windriver PRIVATE user32 gdi32 shell32)
  set(ZORV_WINDRIVER "$<TARGET_FILE:windriver>")
endif()
