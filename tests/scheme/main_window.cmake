# The main window's scheme in one process on the headless window system (native trees).
if(TARGET zorv_main_scheme AND NOT ZORV_WINDOWS)
  zorv_test(main_window_native_tests PROCESS_PER_TEST
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/main_window_native_test.cpp
    LIBS zorv_main_scheme zorv_test_sim)
  target_compile_definitions(main_window_native_tests PRIVATE ZORV_IMAGE_BIN="${ZORV_IMAGE_BIN}")
  add_dependencies(main_window_native_tests zorvsim_tool zorv_firmware_image)
endif()
