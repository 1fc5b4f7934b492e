# The library's multimedia timer.
add_library(zorv_winlib_timer STATIC ${CMAKE_CURRENT_LIST_DIR}/MMTimer.cpp)
target_link_libraries(zorv_winlib_timer PUBLIC zorv_winlib zorv_platform_timer)
