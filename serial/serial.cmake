# The serial port element.
add_library(zorv_serial STATIC ${CMAKE_CURRENT_LIST_DIR}/kvComAsync.cpp ${CMAKE_CURRENT_LIST_DIR}/LineQuiet.cpp)
target_link_libraries(zorv_serial PUBLIC zorv_runtime zorv_platform_comm)
