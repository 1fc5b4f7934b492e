# The device simulator's tests, and zorv_test_sim: the simulator as a child process for
# the tests of other folders (native trees only).
if(NOT ZORV_WINDOWS)
  add_library(zorv_test_sim STATIC ${CMAKE_SOURCE_DIR}/tests/support/zorvsim_process.cpp)
  target_include_directories(zorv_test_sim PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_definitions(zorv_test_sim PRIVATE ZORV_ZORVSIM="${ZORV_ZORVSIM}")
  add_dependencies(zorv_test_sim zorvsim_tool)
endif()

# The simulator's own tests, where the tree builds it (the 32-bit tree uses the host's).
if(TARGET zorvsim_core)
  zorv_test(zorvsim_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/sha256_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/zorvsim_engine_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/zorvsim_timing_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/zorvsim_process_test.cpp
    LIBS zorvsim_core zorv_test_sim)
endif()
