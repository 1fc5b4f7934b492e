# zorvflash end to end against the device simulator (native trees; the Windows tree runs
# the same exchange under wine through tools/wine-com.sh).
zorv_test(zorvflash_unit_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/options_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/progress_test.cpp
  LIBS zorv_flash)

if(NOT ZORV_WINDOWS)
  add_library(zorv_test_child STATIC ${CMAKE_SOURCE_DIR}/tests/support/child_process.cpp)
  target_include_directories(zorv_test_child PUBLIC ${CMAKE_SOURCE_DIR})

  zorv_test(zorvflash_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zorvflash_e2e_test.cpp
    LIBS zorv_test_sim zorv_test_child zorv_sha256 zorv_winlib)
  target_compile_definitions(zorvflash_e2e_tests PRIVATE ZORVFLASH="$<TARGET_FILE:zorvflash>")
  add_dependencies(zorvflash_e2e_tests zorvflash zorvsim_tool)
endif()
