# The system's periodic timer and high-resolution counter.
add_library(zorv_platform_timer STATIC)
if(ZORV_WINDOWS)
  target_sources(zorv_platform_timer PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/win/mmtimer_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/win/counter_win.cpp)
  target_link_libraries(zorv_platform_timer PUBLIC zorv_platform winmm)
else()
  target_sources(zorv_platform_timer PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/posix/mmtimer_posix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/counter_posix.cpp)
  target_link_libraries(zorv_platform_timer PUBLIC zorv_platform)
endif()
