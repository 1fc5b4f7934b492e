# The main window's scheme and the program around it (needs the window elements).
if(TARGET zorv_window_elements)
  add_library(zorv_main_scheme STATIC ${CMAKE_CURRENT_LIST_DIR}/kvSimpleForm_24F8870.cpp)
  target_link_libraries(zorv_main_scheme PUBLIC zorv_scheme zorv_serial zorv_window_elements)
endif()
