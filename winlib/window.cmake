# The window library: owners of GDI handles, graphic tools, canvas and bitmaps, control
# objects with their window procedure chain, the application window and the message loop. Natively it runs on the
# headless window system of headless_win32/ (so the sanitizers see it); on Windows on the
# real one.
# Its rules that are plain arithmetic or tables (Layout) stand apart.
add_library(zorv_winlib_layout STATIC ${CMAKE_CURRENT_LIST_DIR}/Layout.cpp)
target_include_directories(zorv_winlib_layout PUBLIC ${CMAKE_SOURCE_DIR})

add_library(zorv_winlib_window STATIC
  ${CMAKE_CURRENT_LIST_DIR}/WinText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Census.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GdiOwners.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Graphics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ControlsCreate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WndProc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Applet.cpp)
target_link_libraries(zorv_winlib_window PUBLIC zorv_winlib zorv_winlib_layout zorv_winsys)
