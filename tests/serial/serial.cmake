# Tests of the serial port element: call sequences against a recording fake (every build).
zorv_test(serial_fake_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fake_comm.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvComAsync_fake_test.cpp
  LIBS zorv_serial)
