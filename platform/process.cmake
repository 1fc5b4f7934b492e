# Child processes, stop requests and files of the command-line flasher.
if(ZORV_WINDOWS)
  add_library(zorv_platform_process STATIC
    ${CMAKE_CURRENT_LIST_DIR}/win/process_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/win/files_win.cpp)
else()
  add_library(zorv_platform_process STATIC
    ${CMAKE_CURRENT_LIST_DIR}/posix/process_posix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/files_posix.cpp)
endif()
target_link_libraries(zorv_platform_process PUBLIC zorv_platform)
