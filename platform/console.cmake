# The console of command-line programs.
add_library(zorv_platform_console STATIC)
if(ZORV_WINDOWS)
  target_sources(zorv_platform_console PRIVATE ${CMAKE_CURRENT_LIST_DIR}/win/console_win.cpp)
else()
  target_sources(zorv_platform_console PRIVATE ${CMAKE_CURRENT_LIST_DIR}/posix/console_posix.cpp)
endif()
target_link_libraries(zorv_platform_console PUBLIC zorv_platform)
