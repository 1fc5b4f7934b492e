# zorvboot: the window program, a GUI-subsystem Windows program in one file (the native
# build makes it too, on the headless window system, for tests under the sanitizers).
if(TARGET zorv_main_scheme)
  add_executable(zorvboot WIN32 ${CMAKE_CURRENT_LIST_DIR}/zorvboot/main.cpp)
  set_target_properties(zorvboot PROPERTIES OUTPUT_NAME zorvboot${ZORV_PROGRAM_SUFFIX})
  target_link_libraries(zorvboot PRIVATE zorv_main_scheme)
  zorv_link_resources(zorvboot)
  zorv_program_resources(zorvboot)
endif()
