# Serial line calls (zorv_platform_comm): the real calls on Windows, termios and poll on
# POSIX. Tests may replace either with a fake through SetCommApi.
if(ZORV_WINDOWS)
  add_library(zorv_platform_comm STATIC
    ${CMAKE_CURRENT_LIST_DIR}/comm.cpp
    ${CMAKE_CURRENT_LIST_DIR}/win/comm_win.cpp)
  target_link_libraries(zorv_platform_comm PUBLIC zorv_platform kernel32 advapi32)
else()
  add_library(zorv_platform_comm STATIC
    ${CMAKE_CURRENT_LIST_DIR}/comm.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/comm_posix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/comm_posix_line.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/comm_posix_ports.cpp)
  target_link_libraries(zorv_platform_comm PUBLIC zorv_platform)
endif()
