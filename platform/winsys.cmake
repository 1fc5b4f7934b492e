# The window system API (platform/winsys.h), target zorv_winsys: the real user32, gdi32 and
# comctl32 on Windows; natively the headless stand-in of headless_win32/, so that window
# code builds and runs under the sanitizers.
add_library(zorv_winsys INTERFACE)
if(ZORV_WINDOWS)
  target_link_libraries(zorv_winsys INTERFACE zorv_platform user32 gdi32 comctl32)
else()
  target_link_libraries(zorv_winsys INTERFACE zorv_headless_win32)
endif()
