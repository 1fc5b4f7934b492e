# Delay and timer.
add_library(zorv_elements_timer STATIC
  ${CMAKE_CURRENT_LIST_DIR}/kvMMTimer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvSleep.cpp)
target_link_libraries(zorv_elements_timer PUBLIC zorv_runtime zorv_winlib_timer)
