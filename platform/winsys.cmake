# The window system API (platform/winsys.h): the real user32, gdi32 and comctl32 on
# Windows; the headless implementation elsewhere, so that window code builds and runs
# natively under the sanitizers (test controls in platform/headless.h).
if(ZORV_WINDOWS)
  add_library(zorv_platform_win INTERFACE)
  target_link_libraries(zorv_platform_win INTERFACE zorv_platform user32 gdi32 comctl32)
else()
  add_library(zorv_platform_win STATIC
    ${CMAKE_CURRENT_LIST_DIR}/posix/winsys_core.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/winsys_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/winsys_queue.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/winsys_gdi.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/winsys_res.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/winsys_controls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/winsys_combo.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/winsys_headless.cpp)
  target_link_libraries(zorv_platform_win PUBLIC zorv_platform)
endif()
